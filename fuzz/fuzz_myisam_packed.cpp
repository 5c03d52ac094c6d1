// Data files of MyISAM tables packed by myisampack, on any bytes: the packed
// header and its code trees, then every window of records in display and
// export mode, with the index file and without it.

#include "app/damage_report.h"
#include "browse/table_rows.h"
#include "fuzz_support.h"

namespace {
// Relative to the fixture data directory; the packed tables of every kind of
// field live in a fixture folder of their own.
const char* const kTables[] = {
    "paging/my_packed", "../packed/datadir/packed/pk_types", "../packed/datadir/packed/pk_few",
    "../packed/datadir/packed/pk_fixed", "../packed/datadir/packed/pk_spaces"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path name = fuzz::Pick(data, size, kTables);
    const std::filesystem::path folder = fuzz::ScratchDir() / "packed";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".frm"), folder / (stem + ".frm"));
    fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".MYI"), folder / (stem + ".MYI"));
    fuzz::PutInMemory(folder / (stem + ".MYD"), data, size);
    fuzz::ReadEveryWindow(folder, name.filename().u16string(), nullptr);
    // With a damage report listening, and without the index file, when the
    // data file alone says the table is packed.
    for (bool withIndex : {true, false}) {
        if (!withIndex) std::filesystem::remove(folder / (stem + ".MYI"));
        CDamageReport damage;
        CReadOptions options;
        options.windowRows = fuzz::kFuzzWindowRows;
        options.damage = &damage;
        CTableRows table;
        table.Open(folder, name.filename().u16string(), fuzz::App(), options);
        for (int windows = 1; windows < fuzz::kFuzzWindows && table.ReadNextWindow(fuzz::App());
             ++windows) {
        }
    }
    return 0;
}
