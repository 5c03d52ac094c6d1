// The .frm reader and the texts of the column grid, on any bytes.

#include "fuzz_support.h"
#include "schema/column_grid.h"
#include "schema/frm_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path frm = fuzz::ScratchDir() / "t.frm";
    fuzz::WriteBytes(frm, data, size);
    CTableDef table;
    ReadTableDefinition(table, frm, fuzz::App());
    for (const CColumnDef& column : table.columns)
        (void)ColumnGridRow(column, table.tableCharset, fuzz::App().collations);
    return 0;
}
