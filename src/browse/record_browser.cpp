#include "browse/record_browser.h"

#include <string>

#include "app/app_state.h"
#include "app/text.h"
#include "browse/column_definitions.h"
#include "browse/table_rows.h"
#include "catalogue/scan_worker.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"

namespace brix {

namespace {

constexpr char16_t kLogLoadStart[] = u"Please wait while ";
constexpr char16_t kLogLoadStartEnd[] = u" folder is scanning.";
constexpr char16_t kLogLoadDone[] = u"Scanning process completed.";

}  // namespace

size_t FillGridFromRowList(CUiOperations& ui, const CRowWindow& rows) {
    if (rows.columnCount() == 0) return 0;
    for (size_t r = 0; r < rows.rowCount(); ++r) {
        const int row = ui.InsertGridRow(static_cast<int>(r), rows.Text(r, 0));
        for (size_t c = 1; c < rows.columnCount(); ++c)
            ui.SetGridCell(row, static_cast<int>(c), rows.Text(r, c));
    }
    return rows.rowCount();
}

bool CRecordBrowser::TryEnterBusy() {
    int idle = 0;
    return app_.busy.compare_exchange_strong(idle, 1);
}

int CRecordBrowser::OnTreeSelection(TreeItem clicked) {
    if (!TryEnterBusy()) {
        ui_.SelectItem(selectedItem_);
        ui_.ShowMessage(kWaitForRunningProcess);
        return 0;
    }
    selectedItem_ = clicked;
    ui_.SetTextBoxText(u"");
    const std::u16string nodeText = ui_.GetItemText(clicked);
    ui_.ShowCaptionMessage(nodeText);
    std::u16string line = kLogLoadStart;
    line += nodeText;
    line += kLogLoadStartEnd;
    ui_.AppendLogLine(line);

    ui_.ShowProgress(true);
    ui_.ShowGrid(true);
    ui_.ShowTextBox(false);
    app_.saveAsScript = 0;
    app_.saveToDatabase = 0;
    ui_.LockTree();

    CTableDef& table = frame_.table;
    CloseTableFiles(table);
    table.bookmarks.clear();
    ui_.ShowPagingButtons(true);
    ui_.EnableNext(true);
    ui_.EnablePrevious(false);
    rowsShown_ = 0;
    lastBookmarkCount_ = 0;
    table.suppressBookmark = false;
    lastWindowStart_ = {};

    TreeItem node = ui_.GetSelectedItem();
    if (node == kNoTreeItem) node = clicked;
    const int64_t data = ui_.GetItemData(node);
    ui_.ClearGrid(frame_.gridColumnCount);
    frame_.gridColumnCount = 0;

    if (data == ItemData::kKeys) {
        ShowColumnDefinitions(ui_, app_, frame_, node);
    } else {
        table.Reset();
        table.rows.Reset(0);
        const TreeItem parent = ui_.GetParentItem(node);
        const int64_t parentData = parent == kNoTreeItem ? 0 : ui_.GetItemData(parent);
        const int64_t index = data >= 1 ? data - 1 : data;
        const CCatalogue& catalogue = frame_.catalogue;
        if (parentData == ItemData::kTriggers) {
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
        } else if (index >= 0 && static_cast<size_t>(index) < catalogue.catalogueTables.size()) {
            OpenTableWindow(catalogue.catalogueTables[static_cast<size_t>(index)], nodeText);
        }
    }

    if (ui_.GetGridRowCount() == 0) {
        ui_.EnablePrevious(false);
        ui_.EnableNext(false);
    }
    ui_.RedrawGrid();
    ui_.ShowProgress(false);
    app_.busy = 0;
    ui_.UnlockTree();
    ui_.AppendLogLine(kLogLoadDone);
    return 1;
}

void CRecordBrowser::OpenTableWindow(const CatalogueTable& entry, std::u16string_view nodeText) {
    const CCatalogue& catalogue = frame_.catalogue;
    CTableDef& table = frame_.table;
    if (entry.databaseNumber >= 0 &&
        static_cast<size_t>(entry.databaseNumber) < catalogue.databaseFolders.size()) {
        const CInnoDictionary* dictionary =
            frame_.dictionary.IsOpen() ? &frame_.dictionary : nullptr;
        OpenTableRows(table, catalogue.databaseFolders[static_cast<size_t>(entry.databaseNumber)],
                      entry.tableName, app_, dictionary);
    }

    ui_.DeleteGridRows();
    for (size_t i = 0; i < table.columns.size(); ++i)
        ui_.InsertGridColumn(static_cast<int>(i), table.columns[i].name);
    frame_.gridColumnCount = static_cast<int>(table.columns.size());
    rowsShown_ += static_cast<int64_t>(FillGridFromRowList(ui_, table.rows));

    rowsFrom_ = 0;
    rowsTo_ = rowsShown_;
    std::u16string caption(nodeText);
    caption += u'[';
    AppendAscii(caption, std::to_string(rowsTo_));
    caption += u']';
    ui_.ShowCaptionMessage(caption);
}

}  // namespace brix
