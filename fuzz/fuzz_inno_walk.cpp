// InnoDB tablespaces of real table definitions, on any bytes: the descent,
// the leaf walk over compact and redundant pages, record decoding, tables
// changed in place, and off-page chains in export mode; and the same bytes
// read with the layouts of a table whose columns were added in place before
// MySQL 8.0.29, alone or changed again in versions since.

#include "fuzz_support.h"

namespace {
const char* const kTables[] = {
    "types/ints_inno",  "types/strings_inno", "formats/redundant_t",       "formats/compact_t",
    "evolve/inst_drop", "evolve/inst_add",    "paging/inno_blobs_offpage", "nulls/many_nulls_inno"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    // One input in four is read with the layouts of columns added in place.
    if (size != 0 && data[0] >= 192) {
        fuzz::ReadInstantLayouts(data[0], data + 1, size - 1, false);
        return 0;
    }
    const std::filesystem::path name = fuzz::Pick(data, size, kTables);
    const std::filesystem::path folder = fuzz::ScratchDir() / "inno";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    fuzz::CopyInto(fuzz::FixtureFile(name.string() + ".frm"), folder / (stem + ".frm"));
    fuzz::PutInMemory(folder / (stem + ".ibd"), data, size);
    fuzz::ReadEveryWindow(folder, name.filename().u16string(), nullptr);
    return 0;
}
