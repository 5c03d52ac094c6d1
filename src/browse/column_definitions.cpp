#include "browse/column_definitions.h"

#include <string>

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/text.h"
#include "schema/column_grid.h"
#include "schema/frm_reader.h"

namespace brix {

void ShowColumnDefinitions(CUiOperations& ui, CAppState& app, CFrameState& frame,
                           TreeItem keysItem) {
    CTableDef& table = frame.table;
    table.Reset();
    const TreeItem tableItem = ui.GetParentItem(keysItem);
    const int64_t data = tableItem == kNoTreeItem ? -1 : ui.GetItemData(tableItem);
    const int64_t index = data >= 1 ? data - 1 : data;
    const CCatalogue& catalogue = frame.catalogue;
    if (index >= 0 && static_cast<size_t>(index) < catalogue.catalogueTables.size()) {
        const CatalogueTable& entry = catalogue.catalogueTables[static_cast<size_t>(index)];
        if (entry.databaseNumber >= 0 &&
            static_cast<size_t>(entry.databaseNumber) < catalogue.databaseFolders.size()) {
            const std::filesystem::path& folder =
                catalogue.databaseFolders[static_cast<size_t>(entry.databaseNumber)];
            const std::filesystem::path frm = FindStorageFile(folder, entry.tableName, "frm");
            if (!frm.empty()) ReadTableDefinition(table, frm, app);
        }
    }

    ui.DeleteGridRows();
    for (size_t i = 0; i < kColumnGridTitles.size(); ++i)
        ui.InsertGridColumn(static_cast<int>(i), kColumnGridTitles[i]);
    frame.gridColumnCount = static_cast<int>(kColumnGridTitles.size());
    int row = 0;
    for (const CColumnDef& column : table.columns) {
        const auto cells = ColumnGridRow(column, table.tableCharset, app.collations);
        const int at = ui.InsertGridRow(row++, cells[0]);
        for (size_t j = 1; j < cells.size(); ++j) ui.SetGridCell(at, static_cast<int>(j), cells[j]);
    }

    const int rows = ui.GetGridRowCount();
    std::u16string caption;
    if (rows > 1) {
        caption = ui.GetItemText(keysItem);
        caption += u'[';
        AppendAscii(caption, std::to_string(rows));
        caption += u']';
    }
    ui.ShowCaptionMessage(caption);
}

}  // namespace brix
