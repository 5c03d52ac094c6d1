// ROW_FORMAT=COMPRESSED tablespaces on any bytes: the first byte picks the
// table (and with it the .frm and the zip size of its pages); the rest is
// its .ibd, walked as the browser walks it, off-page values included. Each
// page of the input is also rebuilt directly at every zip size.

#include <span>
#include <vector>

#include "fuzz_support.h"
#include "innodb/page_zip.h"

namespace {
const char* const kTables[] = {"kb1", "kb2", "kb4", "kb8", "kb16", "lobs8"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path name = fuzz::Pick(data, size, kTables);
    const std::filesystem::path folder = fuzz::ScratchDir() / "zip";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    fuzz::CopyInto(std::filesystem::path(BRIX_SOURCE_DIR) /
                       "tests/fixtures/compressed/datadir/zip" / (stem + ".frm"),
                   folder / (stem + ".frm"));
    fuzz::PutInMemory(folder / (stem + ".ibd"), data, size);
    fuzz::ReadEveryWindow(folder, name.filename().u16string(), nullptr);

    std::vector<uint8_t> out(16384);
    for (size_t zip = 1024; zip <= 16384; zip *= 2) {
        for (size_t at = 0; at + zip <= size && at < 8 * 16384; at += zip) {
            const ByteSpan raw(data + at, zip);
            ZipChecksumSound(raw);
            DecompressZipPage(raw, out);
        }
    }
    return 0;
}
