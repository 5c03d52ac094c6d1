#include "cli/console_ui.h"

#include "app/file_names.h"
#include "app/text.h"
#include "cli/output.h"

namespace brix {

void CConsoleUi::PrintLine(std::string_view line) {
    std::lock_guard<std::mutex> lock(printMutex_);
    if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() ||
        std::fputc('\n', out_) == EOF || std::fflush(out_) != 0)
        ok_ = false;
}

void CConsoleUi::PrintEvent(std::string_view tag, std::u16string_view text,
                            std::string_view suffix) {
    std::string line(tag);
    line.push_back(' ');
    AppendEscapedField(line, text);
    line += suffix;
    PrintLine(line);
}

void CConsoleUi::ShowCaptionMessage(std::u16string_view text) {
    CUiModel::ShowCaptionMessage(text);
    if (!options_.showCaptions) return;
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.remove_suffix(1);
    PrintEvent("[caption]", text);
}

void CConsoleUi::ShowMessage(std::u16string_view text) {
    if (options_.showMessages) PrintEvent("[message]", text);
}

bool CConsoleUi::AskYesNo(std::u16string_view text, MessageIcon) {
    if (options_.showMessages)
        PrintEvent("[question]", text, options_.answerYes ? " -> yes" : " -> no");
    return options_.answerYes;
}

std::optional<std::filesystem::path> CConsoleUi::ChooseFileToOpen() {
    if (options_.chosenFile.empty()) {
        if (options_.showMessages) PrintLine("[open file] cancelled");
        return std::nullopt;
    }
    if (options_.showMessages) PrintEvent("[open file]", PathText(options_.chosenFile));
    return options_.chosenFile;
}

void CConsoleUi::InsertLogRow(int index, std::u16string_view text) {
    CUiModel::InsertLogRow(index, text);
    if (options_.showLog) PrintEvent("[log]", text);
}

void CConsoleUi::InsertDamageLogRow(int index, std::u16string_view text) {
    CUiModel::InsertLogRow(index, text);
    std::u16string_view line = text;
    const std::u16string_view prefix = kDamageLinePrefix;
    if (line.substr(0, prefix.size()) == prefix) line.remove_prefix(prefix.size());
    if (options_.damageStream) {
        std::string out = "damage: ";
        AppendEscapedField(out, line);
        out.push_back('\n');
        std::lock_guard<std::mutex> lock(printMutex_);
        std::fputs(out.c_str(), options_.damageStream);
        std::fflush(options_.damageStream);
    } else if (options_.showLog) {
        PrintEvent("[damage]", line);
    }
}

void CConsoleUi::MarkTreeItem(TreeItem item, std::u16string_view reason) {
    if (reason.empty()) {
        marks_.erase(item);
    } else {
        marks_[item] = std::u16string(reason);
    }
}

void CConsoleUi::DeleteAllItems() {
    CUiModel::DeleteAllItems();
    marks_.clear();
}

void CConsoleUi::PrintPanelIfChanged() {
    if (!TakePanelChanged()) return;
    std::string out;
    if (textBoxShown()) {
        const std::u16string text = textBoxText();
        std::vector<std::u16string_view> lines;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(u'\n', start);
            if (end == std::u16string::npos) end = text.size();
            lines.push_back(std::u16string_view(text).substr(start, end - start));
            start = end + 1;
        }
        out = "[text] " + std::to_string(lines.size()) + " lines";
        for (std::u16string_view line : lines) {
            out.push_back('\n');
            AppendUtf16AsUtf8(out, line);
        }
    } else if (gridShown()) {
        const std::shared_ptr<const CGridWindow> grid = gridWindow();
        const size_t columns = grid ? grid->columnCount() : 0;
        const size_t rows = grid ? grid->rowCount() : 0;
        out = "[grid] " + std::to_string(columns) + " columns, " + std::to_string(rows) + " rows\n";
        for (size_t c = 0; c < columns; ++c) {
            if (c) out.push_back('\t');
            AppendEscapedField(out, grid->columns()[c]);
        }
        for (size_t r = 0; r < rows; ++r) {
            out.push_back('\n');
            for (size_t c = 0; c < columns; ++c) {
                if (c) out.push_back('\t');
                AppendEscapedField(out, grid->Text(r, c));
            }
        }
    } else {
        return;
    }
    PrintLine(out);
}

void CConsoleUi::PrintTreeNode(TreeItem item, int depth, std::string& out) const {
    const UiTreeNode node = Node(item);
    out.append(static_cast<size_t>(depth) * 2, ' ');
    AppendEscapedField(out, node.text);
    out += " [" + std::to_string(node.data) + "]";
    const auto mark = marks_.find(item);
    if (mark != marks_.end()) {
        out += " [marked: ";
        AppendEscapedField(out, mark->second);
        out += "]";
    }
    out += "\n";
    for (TreeItem child : node.children) PrintTreeNode(child, depth + 1, out);
}

void CConsoleUi::PrintTree() {
    std::string out;
    for (TreeItem root : rootItems()) PrintTreeNode(root, 0, out);
    if (!out.empty()) out.pop_back();
    if (!out.empty()) PrintLine(out);
}

void CConsoleUi::PrintLogList() {
    const std::u16string_view prefix = kDamageLinePrefix;
    for (const std::u16string& row : logRows()) {
        if (std::u16string_view(row).substr(0, prefix.size()) == prefix) {
            PrintEvent("[damage]", std::u16string_view(row).substr(prefix.size()));
        } else {
            PrintEvent("[log]", row);
        }
    }
}

}  // namespace brix
