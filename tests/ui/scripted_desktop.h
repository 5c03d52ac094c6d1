#pragma once

#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

#include "ui/desktop_services.h"

namespace brix::test {

// The desktop for window tests: message boxes and questions are recorded and
// answered from a script (No once it runs out), the open and save dialogs
// run a scripted choice, and the browser and the end of the process are recorded.
class CScriptedDesktop : public CDesktopServices {
  public:
    void ShowMessage(QWidget*, const QString& text) override {
        messages.push_back(text);
        if (onMessage) onMessage(text);
    }
    bool AskYesNo(QWidget*, const QString& text, MessageIcon icon) override {
        questions.push_back(text);
        questionIcons.push_back(icon);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::filesystem::path> ChooseFileToOpen(QWidget*) override {
        ++fileDialogs;
        if (openAs.empty()) return std::nullopt;
        std::filesystem::path path = openAs.front();
        openAs.pop_front();
        return path;
    }
    std::optional<std::filesystem::path> ChooseFileToSave(QWidget*,
                                                          const QString& suggestedName) override {
        suggestedNames.push_back(suggestedName);
        if (saveAs.empty()) return std::nullopt;
        std::filesystem::path path = saveAs.front();
        saveAs.pop_front();
        return path;
    }
    bool RunOpenDialog(QWidget*, CAppState& app) override {
        ++openDialogs;
        return openDialog ? openDialog(app) : false;
    }
    void RunAboutBox(QWidget*, const CAppLinks&) override { ++aboutBoxes; }
    void OpenUrl(const QUrl& url) override { urls.push_back(url); }
    void EndProcess(int exitCode) override { exitCodes.push_back(exitCode); }

    QStringList messages;
    // Called as each message box shows, to look at the window behind it.
    std::function<void(const QString&)> onMessage;
    QStringList questions;
    std::vector<MessageIcon> questionIcons;
    std::deque<bool> answers;
    // What the open dialog does: store paths and return true to confirm.
    std::function<bool(CAppState&)> openDialog;
    int openDialogs = 0;
    int fileDialogs = 0;
    // The answers of the file-open dialog, in turn (cancelled once they run
    // out).
    std::deque<std::filesystem::path> openAs;
    // The answers of the save dialog, in turn (cancelled once they run out),
    // and the names it offered.
    std::deque<std::filesystem::path> saveAs;
    QStringList suggestedNames;
    int aboutBoxes = 0;
    std::vector<QUrl> urls;
    std::vector<int> exitCodes;
};

}  // namespace brix::test
