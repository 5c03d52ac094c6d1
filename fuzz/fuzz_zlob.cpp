// Compressed large objects of MySQL 8.0 and later on any bytes: the first
// byte picks the table (z16, z8 or z4 of the extra MySQL set, and with it
// the zip size); the rest is its .ibd, read as the browser reads it in
// export mode, off-page values included. Then every first page of a
// compressed large object in the input is read directly, for the newest
// and the oldest version, whatever its records say.

#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "innodb/tablespace.h"
#include "innodb/zlob_pages.h"

namespace {
const char* const kTables[] = {"z16", "z8", "z4"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path name = fuzz::Pick(data, size, kTables);
    const std::filesystem::path folder = fuzz::ScratchDir() / "zlob";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    const std::filesystem::path ibd = folder / (stem + ".ibd");
    fuzz::PutInMemory(ibd, data, size);
    fuzz::ReadEveryWindow(folder, name.filename().u16string(), nullptr);

    CTablespace space;
    if (!space.Open(ibd)) return 0;
    uint64_t bytes = 0;
    const auto sink = [&](ByteSpan part) { bytes += part.size(); };
    for (uint64_t page = 0; page < space.pageCount() && page < 4096; ++page) {
        if (!IsZlobFirstPage(space.RawPage(page))) continue;
        for (uint32_t version : {0xFFFFFFFFu, 1u})
            ReadZlobValue(space, page, version, 1 << 22, sink);
    }
    return 0;
}
