// Deleted rows of real table definitions, on any bytes: the search of InnoDB
// leaf pages (record list, free list, the space above the heap) and of
// MyISAM deleted slots and blocks, with the checks each candidate passes,
// window after window in display and export mode; and the same bytes read as
// a file no table owns any more (the search of every page for the table's
// index, whole pages taken only when every record fits).

#include "app/damage_report.h"
#include "browse/table_rows.h"
#include "fuzz_support.h"

namespace {
// The table (its .frm and, for MyISAM, its .MYI are the real ones) and the
// file the input stands for.
struct Table {
    const char* name;
    const char* extension;
};
const Table kTables[] = {
    {"../deleted/datadir/recover/inno_kept", "ibd"},
    {"../deleted/datadir/recover/my_fixed", "MYD"},
    {"../deleted/datadir/recover/my_dynamic", "MYD"},
    {"types/strings_inno", "ibd"},
    {"formats/redundant_t", "ibd"},
    {"types/ints_fixed", "MYD"},
    {"types/temporal_fixed", "MYD"},
    {"nulls/many_nulls_inno", "ibd"},
    {"evolve/inst_drop", "ibd"},
    {"evolve/inst_add_redundant", "ibd"},
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    // One input in four is searched with the layouts of columns added in
    // place, before MySQL 8.0.29 and changed again since.
    if (size != 0 && data[0] >= 192) {
        fuzz::ReadInstantLayouts(data[0], data + 1, size - 1, true);
        return 0;
    }
    const Table& table = kTables[size == 0 ? 0 : data[0] % std::size(kTables)];
    if (size != 0) {
        ++data;
        --size;
    }
    const std::filesystem::path name = table.name;
    const std::filesystem::path folder = fuzz::ScratchDir() / "deleted";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    const std::string extension = table.extension;
    fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".frm"), folder / (stem + ".frm"));
    if (extension == "MYD")
        fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".MYI"), folder / (stem + ".MYI"));
    fuzz::PutInMemory(folder / (stem + "." + extension), data, size);
    const std::filesystem::path file = folder / (stem + "." + extension);
    for (int mode = 0; mode < 4; ++mode) {
        const bool exportMode = (mode & 1) != 0;
        const bool recover = (mode & 2) != 0;
        CDamageReport damage;
        CReadOptions options;
        options.deleted = !recover;
        if (recover) options.recoverFrom = file;
        options.exportMode = exportMode;
        options.spillFolder = fuzz::ScratchDir() / "spill";
        options.windowRows = fuzz::kFuzzWindowRows;
        options.damage = &damage;
        CTableRows rows;
        rows.Open(folder, name.filename().u16string(), fuzz::App(), options);
        for (int windows = 1; windows < fuzz::kFuzzWindows && rows.ReadNextWindow(fuzz::App());
             ++windows) {
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(fuzz::ScratchDir() / "spill", ignored);
    return 0;
}
