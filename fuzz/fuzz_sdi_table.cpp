// A table's dictionary information (the JSON text of one table object, as a
// MySQL 8.0+ tablespace or .sdi file holds it) on any bytes: the JSON parse,
// the columns and keys built from it, and the texts the column grid and a
// CREATE TABLE make of them; the partitions it lists.

#include <string>
#include <string_view>

#include "catalogue/partitions.h"
#include "fuzz_support.h"
#include "save/create_table.h"
#include "schema/column_grid.h"
#include "sdi/sdi_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    (void)PartitionsInSdi(json);
    CTableDef table;
    SdiTableInfo info;
    std::string problem;
    if (!TableDefFromSdi(json, fuzz::App(), table, info, problem)) return 0;
    for (const CColumnDef& column : table.columns)
        (void)ColumnGridRow(column, table.tableCharset, fuzz::App().collations);
    (void)CreateTableStatement(table, info.name, fuzz::App().collations);
    return 0;
}
