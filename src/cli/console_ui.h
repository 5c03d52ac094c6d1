#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "app/ui_model.h"

namespace brix {

// What the console shows of the user-interface operations, and how it answers
// the questions a window would ask.
struct ConsoleUiOptions {
    bool showCaptions = false;  // "[caption] TEXT" for every caption change
    bool showMessages = false;  // message boxes, questions and the file dialog
    bool showLog = false;       // "[log] TEXT" for every row added to the log list
    bool answerYes = false;     // the answer to every question
    // The file the file dialog returns; empty: the dialog is cancelled.
    std::filesystem::path chosenFile;
    // Where damage lines go as "damage: LINE" as they come; null: with the
    // log, as "[damage] LINE", when the log is shown.
    std::FILE* damageStream = nullptr;
};

// The user-interface operations for brixtallow-cli: the model of CUiModel,
// printed to a stream as events happen, one line each. Texts are escaped as
// tab-separated fields are (\t, \n, \r, \\); a caption's trailing line end
// is left out. Message boxes print as "[message] TEXT", questions as
// "[question] TEXT -> yes" or "-> no", the file dialog as "[open file] PATH"
// or "[open file] cancelled". Damage lines of the log print as
// "[damage] LINE" (see ConsoleUiOptions::damageStream), and a marked tree
// node is printed with " [marked: REASON]" after it.
class CConsoleUi : public CUiModel {
  public:
    CConsoleUi(CAppState& app, std::FILE* out, ConsoleUiOptions options)
        : CUiModel(app), out_(out), options_(std::move(options)) {}

    void ShowCaptionMessage(std::u16string_view text) override;
    void ShowMessage(std::u16string_view text) override;
    bool AskYesNo(std::u16string_view text, MessageIcon icon) override;
    std::optional<std::filesystem::path> ChooseFileToOpen() override;

    // Prints the record panel when it changed since it was last printed: the
    // grid as "[grid] C columns, R rows", a line of column titles and a line
    // per row, tab-separated; or the text box as "[text] N lines" and its
    // lines.
    void PrintPanelIfChanged();
    // Prints a line as it stands.
    void PrintLine(std::string_view line);
    // Prints the tree, two spaces of indent per level, each node as its text
    // and its item data in brackets.
    void PrintTree();
    // Prints every row of the log list as "[log] TEXT".
    void PrintLogList();

    // False once a write to the stream failed.
    bool ok() const { return ok_; }

  protected:
    void InsertLogRow(int index, std::u16string_view text) override;
    void InsertDamageLogRow(int index, std::u16string_view text) override;

  public:
    void MarkTreeItem(TreeItem item, std::u16string_view reason) override;
    void DeleteAllItems() override;

  private:
    void PrintEvent(std::string_view tag, std::u16string_view text, std::string_view suffix = {});
    void PrintTreeNode(TreeItem item, int depth, std::string& out) const;

    std::FILE* out_;
    ConsoleUiOptions options_;
    std::mutex printMutex_;
    // The reasons of marked tree nodes.
    std::map<TreeItem, std::u16string> marks_;
    bool ok_ = true;
};

}  // namespace brix
