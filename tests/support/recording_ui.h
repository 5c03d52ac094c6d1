#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/ui_model.h"

namespace brix::test {

// The user-interface operations for tests: the model of CUiModel, plus a
// journal of the frame and log calls, the message boxes shown, and scripted
// answers to questions and to the file dialog (No and cancelled once the
// script runs out).
class CRecordingUi : public CUiModel {
  public:
    using CUiModel::CUiModel;

    void ShowCaptionMessage(std::u16string_view text) override;
    void ShowProgress(bool on) override;
    void ShowMessage(std::u16string_view text) override;
    bool AskYesNo(std::u16string_view text, MessageIcon icon) override;
    std::optional<std::filesystem::path> ChooseFileToOpen() override;
    TreeItem InsertItem(std::u16string_view text, int image, TreeItem parent) override;
    void SelectItem(TreeItem item) override;
    void DeleteAllItems() override;
    void ClearGrid(int n) override;
    void EnablePrevious(bool on) override;
    void EnableNext(bool on) override;

    // Answers for the next questions and file dialogs, in order.
    void AnswerQuestions(std::initializer_list<bool> answers);
    void ChooseFiles(std::initializer_list<std::optional<std::filesystem::path>> files);
    // Called (on the calling thread) before each message box returns.
    std::function<void(std::u16string_view)> onMessage;
    // Called after each tree item is inserted.
    std::function<void(std::u16string_view)> onInsertItem;

    std::vector<std::string> messages() const;
    std::vector<std::string> questions() const;
    std::vector<std::string> captions() const;
    // Every recorded call as "Name" or "Name:argument", in order.
    std::vector<std::string> journal() const;
    // The tree below item (all roots for kNoTreeItem) as lines of two spaces
    // per level, the node text and the item data in brackets.
    std::vector<std::string> TreeLines(TreeItem item = kNoTreeItem) const;
    // The item reached from the data-path node (the first root's first child)
    // by the node texts of path, split at "/", such as "shop/Tables/orders".
    TreeItem FindNode(const std::string& path) const;

  protected:
    void InsertLogRow(int index, std::u16string_view text) override;

  private:
    void Note(std::string call);

    mutable std::mutex recordMutex_;
    std::deque<bool> answers_;
    std::deque<std::optional<std::filesystem::path>> files_;
    std::vector<std::string> messages_;
    std::vector<std::string> questions_;
    std::vector<std::string> captions_;
    std::vector<std::string> journal_;
};

}  // namespace brix::test
