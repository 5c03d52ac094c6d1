// MyISAM data files of real tables, fixed-length and dynamic, on any bytes:
// every window in display and export mode, through record assembly and
// unpacking.

#include "fuzz_support.h"

namespace {
const char* const kTables[] = {"types/ints_fixed",    "types/strings_dyn",
                               "types/bits_dyn",      "types/blobs_dyn",
                               "types/bits_fixed",    "nulls/many_nulls_myisam_dyn",
                               "paging/my_churn_dyn", "types/temporal_fixed"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* name = brix::fuzz::Pick(data, size, kTables);
    brix::fuzz::ReadMyisamDataFile(name, "myisam", data, size);
    return 0;
}
