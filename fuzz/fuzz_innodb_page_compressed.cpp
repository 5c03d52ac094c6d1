// InnoDB tablespaces of 4, 8, 32 and 64 KiB pages and MariaDB's
// PAGE_COMPRESSED tablespaces of every algorithm, on any bytes: the page size
// taken from page 0, decompression of each page, then the descent and the
// leaf walk over what came out. The first byte picks the table; the pages of
// the rest are also decompressed directly in both layouts and every
// algorithm.

#include <span>
#include <vector>

#include "fuzz_support.h"
#include "innodb/page_check.h"
#include "innodb/page_compressed.h"
#include "innodb/tablespace.h"

namespace {
const char* const kTables[] = {"p4k/datadir/pages/deep",
                               "p4k/datadir/pages/squeezed",
                               "p8k/datadir/pages/old_layout",
                               "p8k/datadir/pages/squeezed",
                               "p32k/datadir/pages/deep",
                               "p32k/datadir/pages/squeezed",
                               "p64k/datadir/pages/no_key",
                               "p64k/datadir/pages/squeezed",
                               "classic/datadir/pages/squeezed",
                               "algos/datadir/pages/squeezed_zlib",
                               "algos/datadir/pages/squeezed_lz4",
                               "algos/datadir/pages/squeezed_lzo",
                               "algos/datadir/pages/squeezed_lzma",
                               "algos/datadir/pages/squeezed_bzip2",
                               "algos/datadir/pages/squeezed_snappy"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path name = fuzz::Pick(data, size, kTables);
    const std::filesystem::path folder = fuzz::ScratchDir() / "pages";
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    fuzz::CopyInto(std::filesystem::path(BRIX_SOURCE_DIR) / "tests/fixtures/page-sizes" /
                       (name.string() + ".frm"),
                   folder / (stem + ".frm"));
    fuzz::PutInMemory(folder / (stem + ".ibd"), data, size);
    fuzz::ReadEveryWindow(folder, name.filename().u16string(), nullptr);

    // Each 4 KiB of the input as a page of each layout and algorithm.
    std::vector<uint8_t> out(kMinPageSize);
    for (size_t at = 0; at + kMinPageSize <= size && at < 16 * kMinPageSize; at += kMinPageSize) {
        const ByteSpan raw(data + at, kMinPageSize);
        for (uint32_t algorithm = 0; algorithm <= 7; ++algorithm) {
            SpaceFormat format;
            format.pageCompressed = true;
            format.fullCrc32 = algorithm != 0;
            format.algorithm = algorithm;
            DecompressPage(raw, format, out);
        }
        CheckPage(raw);
        UndecompressedReason(raw);
    }
    return 0;
}
