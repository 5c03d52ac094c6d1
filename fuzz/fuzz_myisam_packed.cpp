// Data files of MyISAM tables packed by myisampack, on any bytes: the packed
// header and its code trees, then every window of records in display and
// export mode, with the index file and without it.

#include "fuzz_support.h"

namespace {
// Relative to the fixture data directory; the packed tables of every kind of
// field live in a fixture folder of their own.
const char* const kTables[] = {
    "paging/my_packed", "../packed/datadir/packed/pk_types", "../packed/datadir/packed/pk_few",
    "../packed/datadir/packed/pk_fixed", "../packed/datadir/packed/pk_spaces"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* name = brix::fuzz::Pick(data, size, kTables);
    brix::fuzz::ReadMyisamDataFile(name, "packed", data, size);
    return 0;
}
