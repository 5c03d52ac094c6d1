#include "browse/column_definitions.h"

#include <string>

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/object_names.h"
#include "app/text.h"
#include "schema/column_grid.h"
#include "schema/frm_reader.h"
#include "sdi/sdi_table_file.h"

namespace brix {

size_t ShowColumnDefinitions(CUiOperations& ui, CAppState& app, CFrameState& frame,
                             int64_t tableItemData, std::u16string_view keysText) {
    CTableDef table;
    // The dictionary's name of a MySQL 8.0+ table, when it is not the file's.
    std::u16string dictionaryName;
    const int64_t index = tableItemData >= 1 ? tableItemData - 1 : tableItemData;
    const CCatalogue& catalogue = frame.catalogue;
    if (index >= 0 && static_cast<size_t>(index) < catalogue.catalogueTables.size()) {
        const CatalogueTable& entry = catalogue.catalogueTables[static_cast<size_t>(index)];
        if (entry.databaseNumber >= 0 &&
            static_cast<size_t>(entry.databaseNumber) < catalogue.databaseFolders.size()) {
            const std::filesystem::path& folder =
                catalogue.databaseFolders[static_cast<size_t>(entry.databaseNumber)];
            const std::filesystem::path frm = FindStorageFile(folder, entry.tableName, "frm");
            if (!frm.empty()) ReadTableDefinition(table, frm, app);
            // MySQL 8.0 and later write no .frm: the definition is in the
            // table's tablespace or its .sdi file.
            SdiTableInfo info;
            if (frm.empty() &&
                ReadTableDefinitionFromSdi(folder, entry.tableName, app, table, info) &&
                info.name != ObjectNameFromFileName(entry.tableName) &&
                info.name != entry.tableName)
                dictionaryName = info.name;
        }
    }

    std::vector<std::u16string> titles(kColumnGridTitles.begin(), kColumnGridTitles.end());
    std::vector<std::vector<std::u16string>> rows;
    rows.reserve(table.columns.size());
    for (const CColumnDef& column : table.columns) {
        const auto cells = ColumnGridRow(column, table.tableCharset, app.collations);
        rows.emplace_back(cells.begin(), cells.end());
    }
    frame.gridColumnCount = static_cast<int>(titles.size());
    const size_t count = rows.size();
    ui.ShowRows(std::make_shared<const CTextGridWindow>(std::move(titles), std::move(rows)));

    std::u16string caption;
    if (count > 1) {
        caption = keysText;
        caption += u'[';
        AppendAscii(caption, std::to_string(count));
        caption += u']';
    }
    if (!dictionaryName.empty()) {
        if (caption.empty()) caption = keysText;
        caption += kDictionaryNameCaption;
        caption += dictionaryName;
    }
    ui.ShowCaptionMessage(caption);
    return count;
}

}  // namespace brix
