// CSV data files of real tables on any bytes: the first byte picks the table
// (its .frm and .CSM beside it), the rest is its .CSV; every window in display
// and export mode, through line splitting, unescaping and value rendering.

#include "fuzz_support.h"

namespace {
const char* const kTables[] = {"csv_types", "csv_latin1"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name = brix::fuzz::Pick(data, size, kTables);
    const std::filesystem::path fixture = std::filesystem::path(BRIX_SOURCE_DIR) / "tests" /
                                          "fixtures" / "mariadb-types" / "datadir" / "newtypes";
    const std::filesystem::path folder = brix::fuzz::ScratchDir() / "csv";
    std::filesystem::create_directories(folder);
    brix::fuzz::CopyInto(fixture / (name + ".frm"), folder / (name + ".frm"));
    brix::fuzz::CopyInto(fixture / (name + ".CSM"), folder / (name + ".CSM"));
    brix::fuzz::PutInMemory(folder / (name + ".CSV"), data, size);
    brix::fuzz::ReadEveryWindow(folder, std::u16string(name.begin(), name.end()), nullptr);
    return 0;
}
