// The .frm reader, the texts of the column grid and the CREATE TABLE
// statement a save rebuilds from it, with the defaults, on any bytes; the
// same bytes as a .par file and the partition names of the partitioning
// clause read.

#include "app/damage_report.h"
#include "catalogue/partitions.h"
#include "fuzz_support.h"
#include "save/create_table.h"
#include "schema/column_grid.h"
#include "schema/frm_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path frm = fuzz::ScratchDir() / "t.frm";
    fuzz::PutInMemory(frm, data, size);
    CTableDef table;
    CDamageReport damage;
    ReadTableDefinition(table, frm, fuzz::App(), &damage);
    for (const DamageFinding& finding : damage.Findings()) (void)DamageLine(finding);
    for (const CColumnDef& column : table.columns)
        (void)ColumnGridRow(column, table.tableCharset, fuzz::App().collations);
    const std::vector<std::u16string> defaults = ColumnDefaultClauses(table, fuzz::App());
    (void)CreateTableStatement(table, u"t", fuzz::App().collations, &defaults);
    (void)PartitionNamesInClause(table.partitioning);
    (void)ReadParNames(ByteSpan(data, size));
    return 0;
}
