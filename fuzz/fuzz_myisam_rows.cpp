// MyISAM data files of real tables, fixed-length and dynamic, on any bytes:
// every window in display and export mode, through record assembly and
// unpacking.

#include "app/damage_report.h"
#include "browse/table_rows.h"
#include "fuzz_support.h"

namespace {
const char* const kTables[] = {"types/ints_fixed",    "types/strings_dyn",
                               "types/bits_dyn",      "types/blobs_dyn",
                               "types/bits_fixed",    "nulls/many_nulls_myisam_dyn",
                               "paging/my_churn_dyn", "types/temporal_fixed"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path name = fuzz::Pick(data, size, kTables);
    const std::filesystem::path folder = fuzz::ScratchDir() / "myisam";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".frm"), folder / (stem + ".frm"));
    fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".MYI"), folder / (stem + ".MYI"));
    fuzz::PutInMemory(folder / (stem + ".MYD"), data, size);
    fuzz::ReadEveryWindow(folder, name.filename().u16string(), nullptr);
    // Once more with a damage report listening, and once without the index
    // file, so that the rows are read by the layout of the .frm alone.
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
