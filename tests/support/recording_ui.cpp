#include "support/recording_ui.h"

#include "app/text.h"
#include "support/test_support.h"

namespace brix::test {

namespace {

std::string OnOff(bool on) {
    return on ? "on" : "off";
}

void AddTreeLines(const CRecordingUi& ui, TreeItem item, int depth,
                  std::vector<std::string>& lines) {
    const UiTreeNode node = ui.Node(item);
    lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + U8(node.text) + " [" +
                    std::to_string(node.data) + "]");
    for (TreeItem child : node.children) AddTreeLines(ui, child, depth + 1, lines);
}

}  // namespace

void CRecordingUi::Note(std::string call) {
    std::lock_guard<std::mutex> lock(recordMutex_);
    journal_.push_back(std::move(call));
}

void CRecordingUi::ShowCaptionMessage(std::u16string_view text) {
    CUiModel::ShowCaptionMessage(text);
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        captions_.push_back(U8(text));
    }
    Note("ShowCaptionMessage:" + U8(text));
}

void CRecordingUi::ShowProgress(bool on) {
    CUiModel::ShowProgress(on);
    Note("ShowProgress:" + OnOff(on));
}

void CRecordingUi::ShowMessage(std::u16string_view text) {
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        messages_.push_back(U8(text));
    }
    Note("ShowMessage:" + U8(text));
    if (onMessage) onMessage(text);
}

bool CRecordingUi::AskYesNo(std::u16string_view text, MessageIcon icon) {
    bool answer = false;
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        questions_.push_back(U8(text));
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
    }
    Note("AskYesNo:" + U8(text) + "|" + std::to_string(static_cast<int>(icon)) + "|" +
         (answer ? "yes" : "no"));
    return answer;
}

std::optional<std::filesystem::path> CRecordingUi::ChooseFileToOpen() {
    std::optional<std::filesystem::path> file;
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        if (!files_.empty()) {
            file = files_.front();
            files_.pop_front();
        }
    }
    Note("ChooseFileToOpen:" + (file ? file->string() : std::string("cancelled")));
    return file;
}

TreeItem CRecordingUi::InsertItem(std::u16string_view text, int image, TreeItem parent) {
    const TreeItem item = CUiModel::InsertItem(text, image, parent);
    Note("InsertItem:" + U8(text) + "|" + std::to_string(image));
    if (onInsertItem) onInsertItem(text);
    return item;
}

void CRecordingUi::SelectItem(TreeItem item) {
    CUiModel::SelectItem(item);
    Note("SelectItem:" + U8(GetItemText(item)));
}

void CRecordingUi::DeleteAllItems() {
    CUiModel::DeleteAllItems();
    Note("DeleteAllItems");
}

void CRecordingUi::ClearGrid(int n) {
    CUiModel::ClearGrid(n);
    Note("ClearGrid:" + std::to_string(n));
}

void CRecordingUi::EnablePrevious(bool on) {
    CUiModel::EnablePrevious(on);
    Note("EnablePrevious:" + OnOff(on));
}

void CRecordingUi::EnableNext(bool on) {
    CUiModel::EnableNext(on);
    Note("EnableNext:" + OnOff(on));
}

void CRecordingUi::InsertLogRow(int index, std::u16string_view text) {
    CUiModel::InsertLogRow(index, text);
    Note("LogRow:" + U8(text));
}

void CRecordingUi::AnswerQuestions(std::initializer_list<bool> answers) {
    std::lock_guard<std::mutex> lock(recordMutex_);
    answers_.insert(answers_.end(), answers);
}

void CRecordingUi::ChooseFiles(std::initializer_list<std::optional<std::filesystem::path>> files) {
    std::lock_guard<std::mutex> lock(recordMutex_);
    files_.insert(files_.end(), files);
}

std::vector<std::string> CRecordingUi::messages() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return messages_;
}

std::vector<std::string> CRecordingUi::questions() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return questions_;
}

std::vector<std::string> CRecordingUi::captions() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return captions_;
}

std::vector<std::string> CRecordingUi::journal() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return journal_;
}

std::vector<std::string> CRecordingUi::TreeLines(TreeItem item) const {
    std::vector<std::string> lines;
    if (item != kNoTreeItem) {
        AddTreeLines(*this, item, 0, lines);
    } else {
        for (TreeItem root : rootItems()) AddTreeLines(*this, root, 0, lines);
    }
    return lines;
}

TreeItem CRecordingUi::FindNode(const std::string& path) const {
    std::vector<std::u16string> texts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        texts.push_back(Utf8ToUtf16(path.substr(start, end - start)));
        start = end + 1;
    }
    const std::vector<TreeItem> roots = rootItems();
    if (roots.empty()) return kNoTreeItem;
    const std::vector<TreeItem> paths = Children(roots.front());
    if (paths.empty()) return kNoTreeItem;
    return FindItem(paths.front(), texts);
}

}  // namespace brix::test
