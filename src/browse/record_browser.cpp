#include "browse/record_browser.h"

#include <algorithm>
#include <string>

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/text.h"
#include "browse/column_definitions.h"
#include "browse/table_rows.h"
#include "catalogue/dictionary_objects.h"
#include "catalogue/scan_worker.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"
#include "schema/field_types.h"

namespace brix {

namespace {

constexpr char16_t kLogLoadStart[] = u"Please wait while ";
constexpr char16_t kLogLoadStartEnd[] = u" folder is scanning.";
constexpr char16_t kLogDeletedRowsStart[] = u"deleted rows of ";
constexpr char16_t kLogDeletedRowsEnd[] = u" are being read.";
constexpr char16_t kLogLoadDone[] = u"Scanning process completed.";

// The findings of one table kept apart to count each once; beyond them the
// rest are logged and counted as they come.
constexpr size_t kMaxFindingsSeen = 10000;

// A window of rows read from a table, owned by the grid window made of it.
class CRowGridWindow final : public CGridWindow {
  public:
    CRowGridWindow(std::vector<std::u16string> columns, CRowWindow rows)
        : CGridWindow(std::move(columns)), rows_(std::move(rows)) {}

    size_t rowCount() const override {
        return columnCount() == 0 || rows_.columnCount() == 0 ? 0 : rows_.rowCount();
    }
    std::u16string_view Text(size_t row, size_t column) const override {
        return column < rows_.columnCount() ? rows_.Text(row, column) : std::u16string_view();
    }
    bool IsNull(size_t row, size_t column) const override {
        return column < rows_.columnCount() && rows_.IsNull(row, column);
    }
    bool IsSpilled(size_t row, size_t column) const override {
        return column < rows_.columnCount() && rows_.IsSpilled(row, column);
    }

  private:
    CRowWindow rows_;
};

}  // namespace

namespace {

std::shared_ptr<CGridWindow> MakeGridWindow(CTableRows& table) {
    const std::vector<CColumnDef>& definitions = table.table().columns;
    std::vector<std::u16string> columns;
    std::vector<bool> numeric;
    columns.reserve(table.WindowColumns());
    for (const CColumnDef& column : definitions) {
        columns.emplace_back(column.name);
        numeric.push_back(IsNumericType(column.type));
    }
    if (table.deletedMode()) {
        // Where each deleted or recovered row was found, and what of it is
        // lost.
        columns.emplace_back(kDeletedSourceColumn);
        columns.emplace_back(kDeletedUnknownColumn);
        numeric.insert(numeric.end(), 2, false);
    }
    CRowWindow& rows = table.rows();
    auto window = std::make_shared<CRowGridWindow>(std::move(columns), std::move(rows));
    window->SetNumericColumns(std::move(numeric));
    window->SetFilled(table.window().windowFull);
    window->SetDeletedRows(table.deletedMode());
    rows = CRowWindow();
    rows.Reset(table.WindowColumns());
    return window;
}

}  // namespace

std::shared_ptr<const CGridWindow> TakeGridWindow(CTableRows& table) {
    return MakeGridWindow(table);
}

size_t CRecordBrowser::ShowTableWindow(CTableRows& table, int64_t firstRow) {
    const std::shared_ptr<CGridWindow> window = MakeGridWindow(table);
    const size_t rows = window->rowCount();
    furthestRow_ = std::max(furthestRow_, firstRow + static_cast<int64_t>(rows));
    if (window->IsLastWindow()) endSeen_ = true;
    // A count the table's files keep stands from the first window on;
    // otherwise the rows seen so far, exact once the last window was read.
    // No file counts the deleted rows that can still be read.
    const int64_t counted = table.deletedMode() ? -1 : table.CountedRows();
    if (counted >= 0) {
        window->SetPosition(firstRow, counted, true);
    } else {
        window->SetPosition(firstRow, furthestRow_, endSeen_);
    }
    ui_.ShowRows(window);
    return rows;
}

CTableRows& CRecordBrowser::OpenTable() {
    if (!frame_.openTable) frame_.openTable = std::make_shared<CTableRows>();
    return *frame_.openTable;
}

const std::vector<RecordBookmark>& CRecordBrowser::Bookmarks() const {
    static const std::vector<RecordBookmark> none;
    return frame_.openTable ? frame_.openTable->window().bookmarks : none;
}

void CRecordBrowser::Run(CBusyGuard busy, std::function<void(CBusyGuard&)> work) {
    // The work owns the hold on busy from here on: wherever it ends, on
    // whatever thread and however, the flag is released.
    auto held = std::make_shared<CBusyGuard>(std::move(busy));
    std::function<void()> job = [held, work = std::move(work)] { work(*held); };
    if (runner_) {
        runner_(std::move(job));
    } else {
        job();
    }
}

void CRecordBrowser::BeforeRead() const {
    if (readHook_) readHook_();
}

int CRecordBrowser::OnTreeSelection(TreeItem clicked) {
    CBusyGuard busy(app_.busy);
    if (!busy) {
        ui_.SelectItem(selectedItem_);
        ui_.ShowMessage(kWaitForRunningProcess);
        return 0;
    }
    selectedItem_ = clicked;
    // What was clicked is asked here, on the thread the tree belongs to; the
    // work that follows asks the tree nothing.
    SelectedNode node;
    node.clickedText = ui_.GetItemText(clicked);
    TreeItem item = ui_.GetSelectedItem();
    if (item == kNoTreeItem) item = clicked;
    node.text = item == clicked ? node.clickedText : ui_.GetItemText(item);
    node.item = item;
    node.data = ui_.GetItemData(item);
    const TreeItem parent = ui_.GetParentItem(item);
    if (parent != kNoTreeItem) node.parentData = ui_.GetItemData(parent);
    Run(std::move(busy),
        [this, node = std::move(node)](CBusyGuard& held) { ShowSelection(node, held); });
    return 1;
}

CTableRows& CRecordBrowser::BeginLoad(std::u16string_view caption, const std::u16string& logLine) {
    ui_.SetTextBoxText(u"");
    ui_.ShowCaptionMessage(caption);
    ui_.AppendLogLine(logLine);
    ui_.ShowProgress(true);
    ui_.ShowGrid(true);
    ui_.ShowTextBox(false);
    ui_.LockTree();

    CTableRows& table = OpenTable();
    table.Close();
    ForgetFindings();
    ui_.ShowPagingButtons(true);
    ui_.EnableNext(true);
    ui_.EnablePrevious(false);
    rowsShown_ = 0;
    furthestRow_ = 0;
    endSeen_ = false;
    lastBookmarkCount_ = 0;
    lastWindowStart_ = {};
    ui_.ClearGrid(frame_.gridColumnCount);
    frame_.gridColumnCount = 0;
    return table;
}

void CRecordBrowser::EndLoad(bool nothingToPage, CBusyGuard& busy) {
    if (nothingToPage) {
        ui_.EnablePrevious(false);
        ui_.EnableNext(false);
    }
    ui_.RedrawGrid();
    ui_.ShowProgress(false);
    busy.Release();
    ui_.UnlockTree();
    ui_.AppendLogLine(kLogLoadDone);
}

void CRecordBrowser::ShowSelection(const SelectedNode& node, CBusyGuard& busy) {
    const std::u16string& nodeText = node.clickedText;
    std::u16string line = kLogLoadStart;
    const int64_t deletedOf = node.parentData.value_or(0) - 1;
    if (node.data == ItemData::kDeletedRows && deletedOf >= 0 &&
        static_cast<size_t>(deletedOf) < frame_.catalogue.catalogueTables.size()) {
        // Every table's node of deleted rows has the same text: the log
        // names the table.
        line += kLogDeletedRowsStart;
        line += frame_.catalogue.catalogueTables[static_cast<size_t>(deletedOf)].tableName;
        line += kLogDeletedRowsEnd;
    } else {
        line += nodeText;
        line += kLogLoadStartEnd;
    }
    BeginLoad(nodeText, line);
    tableItem_ = node.item;

    const int64_t data = node.data;
    size_t gridRows = 0;
    bool moreToRead = false;

    if (data == ItemData::kKeys) {
        gridRows =
            ShowColumnDefinitions(ui_, app_, frame_, node.parentData.value_or(-1), node.text);
    } else {
        const int64_t parentData = node.parentData.value_or(0);
        const int64_t index = data >= 1 ? data - 1 : data;
        const CCatalogue& catalogue = frame_.catalogue;
        if (parentData == ItemData::kTriggers && data > kDictionaryItemBase) {
            ui_.ShowGrid(false);
            ui_.ShowTextBox(true);
            ui_.SetTextBoxText(DictionaryTriggerText(
                catalogue.dictionaryTriggers, static_cast<size_t>(data - kDictionaryItemBase - 1)));
        } else if (parentData == ItemData::kViews && data > kDictionaryItemBase) {
            const size_t view = static_cast<size_t>(data - kDictionaryItemBase - 1);
            ui_.ShowGrid(false);
            ui_.ShowTextBox(true);
            ui_.SetTextBoxText(view < catalogue.dictionaryViews.size()
                                   ? DictionaryViewText(catalogue.dictionaryViews[view])
                                   : std::u16string());
        } else if (parentData == ItemData::kTriggers) {
            if (index >= 0 && static_cast<size_t>(index) < catalogue.catalogueTriggers.size()) {
                const CatalogueTrigger& entry =
                    catalogue.catalogueTriggers[static_cast<size_t>(index)];
                const std::u16string text =
                    TriggerText(entry.folderPath / std::filesystem::path(entry.fileName), app_);
                ui_.ShowGrid(false);
                ui_.ShowTextBox(true);
                ui_.SetTextBoxText(text);
            }
        } else if (parentData == ItemData::kViews) {
            if (index >= 0 && static_cast<size_t>(index) < catalogue.catalogueViews.size()) {
                const std::u16string text =
                    ViewText(catalogue.catalogueViews[static_cast<size_t>(index)], app_);
                ui_.ShowGrid(false);
                ui_.ShowTextBox(true);
                ui_.SetTextBoxText(text);
            }
        } else if (data == ItemData::kDeletedRows) {
            // The node's parent is the table: its item data names the entry.
            const int64_t table = parentData - 1;
            if (table >= 0 && static_cast<size_t>(table) < catalogue.catalogueTables.size()) {
                const CatalogueTable& entry = catalogue.catalogueTables[static_cast<size_t>(table)];
                gridRows = OpenTableWindow(entry, entry.tableName + kDeletedRowsCaption, true);
                // A window of deleted rows may end empty before the data
                // file does (the search moves over so many bytes at most):
                // Next goes on looking.
                moreToRead =
                    gridRows == 0 && frame_.openTable && frame_.openTable->window().windowFull;
            }
        } else if (index >= 0 && static_cast<size_t>(index) < catalogue.catalogueTables.size()) {
            gridRows =
                OpenTableWindow(catalogue.catalogueTables[static_cast<size_t>(index)], nodeText);
        }
    }

    EndLoad(gridRows == 0 && !moreToRead, busy);
}

int CRecordBrowser::ShowRecoveredRows(const std::filesystem::path& definition,
                                      const std::filesystem::path& dataFile) {
    CBusyGuard busy(app_.busy);
    if (!busy) {
        ui_.ShowMessage(kWaitForRunningProcess);
        return 0;
    }
    Run(std::move(busy), [this, definition, dataFile](CBusyGuard& held) {
        ShowRecovered(definition, dataFile, held);
    });
    return 1;
}

void CRecordBrowser::ShowRecovered(const std::filesystem::path& definition,
                                   const std::filesystem::path& dataFile, CBusyGuard& busy) {
    std::u16string title = u"Recovered from ";
    title += PathComponentText(dataFile);
    std::u16string line = u"Recovering the rows of ";
    line += PathText(dataFile);
    line += u" by the definition in ";
    line += PathText(definition);
    CTableRows& table = BeginLoad(title, line);

    BeforeRead();
    CReadOptions options;
    options.damage = &damage_;
    const OpenRowsResult opened = table.OpenRecovered(definition, dataFile, app_, options);
    size_t rows = 0;
    std::u16string caption = title;
    if (opened == OpenRowsResult::kNoDefinition) {
        caption += u" \u2014 no table definition could be read from ";
        caption += PathComponentText(definition);
    } else {
        frame_.gridColumnCount = static_cast<int>(table.WindowColumns());
        rows = ShowTableWindow(table, 0);
        rowsShown_ += static_cast<int64_t>(rows);
        tableRowsRead_ += static_cast<int64_t>(rows);
        LogNewFindings();
        caption += u" [";
        AppendAscii(caption, std::to_string(rowsShown_));
        caption += u']';
        caption += DamageCaption();
    }
    rowsFrom_ = 0;
    rowsTo_ = rowsShown_;
    ui_.ShowCaptionMessage(caption);
    EndLoad(rows == 0, busy);
}

size_t CRecordBrowser::OpenTableWindow(const CatalogueTable& entry, std::u16string_view nodeText,
                                       bool deleted) {
    const CCatalogue& catalogue = frame_.catalogue;
    CTableRows& table = OpenTable();
    if (entry.databaseNumber >= 0 &&
        static_cast<size_t>(entry.databaseNumber) < catalogue.databaseFolders.size()) {
        const CInnoDictionary* dictionary =
            frame_.dictionary.IsOpen() ? &frame_.dictionary : nullptr;
        BeforeRead();
        CReadOptions options;
        options.damage = &damage_;
        options.deleted = deleted;
        table.Open(catalogue.databaseFolders[static_cast<size_t>(entry.databaseNumber)],
                   entry.tableName, app_, options, dictionary);
    }

    frame_.gridColumnCount = static_cast<int>(table.WindowColumns());
    const size_t rows = ShowTableWindow(table, 0);
    rowsShown_ += static_cast<int64_t>(rows);
    tableRowsRead_ += static_cast<int64_t>(rows);
    LogNewFindings();

    rowsFrom_ = 0;
    rowsTo_ = rowsShown_;
    std::u16string caption(nodeText);
    caption += u'[';
    AppendAscii(caption, std::to_string(rowsTo_));
    caption += u']';
    if (deleted && rows == 0 && !table.window().windowFull) caption += kNoDeletedRowsFound;
    caption += DamageCaption();
    ui_.ShowCaptionMessage(caption);
    return rows;
}

void CRecordBrowser::ForgetFindings() {
    damage_.Clear();
    tableItem_ = kNoTreeItem;
    findingsSeen_.clear();
    tableFindings_ = 0;
    tableRowsRead_ = 0;
    firstLoss_.clear();
}

void CRecordBrowser::LogNewFindings() {
    if (damage_.Empty()) return;
    const std::vector<DamageFinding> findings = damage_.Findings();
    const size_t dropped = damage_.Dropped();
    damage_.Clear();
    for (const DamageFinding& finding : findings) {
        // A window read again (paging back and forth) reports its findings
        // again: the log has them once.
        if (findingsSeen_.size() < kMaxFindingsSeen) {
            if (!findingsSeen_.insert(DamageJson(finding)).second) continue;
        }
        ++tableFindings_;
        if (firstLoss_.empty() && !finding.rowsStillRead) firstLoss_ = finding.why;
        ui_.AppendDamageLine(finding);
    }
    tableFindings_ += dropped;
    if (tableFindings_ == 0 || tableItem_ == kNoTreeItem) return;
    std::u16string reason;
    if (tableRowsRead_ == 0 && !firstLoss_.empty()) {
        reason = Utf8ToUtf16(firstLoss_);
    } else {
        reason = u"damaged: ";
        AppendAscii(reason, std::to_string(tableFindings_));
        reason += tableFindings_ == 1 ? u" finding, see the log" : u" findings, see the log";
    }
    ui_.MarkTreeItem(tableItem_, reason);
}

std::u16string CRecordBrowser::DamageCaption() const {
    if (tableFindings_ == 0) return {};
    std::u16string text;
    if (tableRowsRead_ == 0 && !firstLoss_.empty()) {
        text = u" \u2014 nothing could be read: ";
        text += Utf8ToUtf16(firstLoss_);
        text += u", see the log";
        return text;
    }
    text = u" \u2014 damaged: ";
    AppendAscii(text, std::to_string(tableFindings_));
    text += tableFindings_ == 1 ? u" finding, see the log" : u" findings, see the log";
    return text;
}

}  // namespace brix
