// Tables MariaDB servers wrote with pages of 4, 8, 32 and 64 KiB, and
// PAGE_COMPRESSED tables of every compression algorithm in both checksum
// layouts (tests/fixtures/make-page-size-fixtures), read with the dictionary
// of the server's own ibdata1 and from the .frm alone and compared cell for
// cell with what the server returned; then their compressed pages damaged.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/damage_report.h"
#include "app/file_names.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/dictionary.h"
#include "innodb/page_check.h"
#include "innodb/page_compressed.h"
#include "innodb/page_view.h"
#include "innodb/tablespace.h"
#include "support/expected_rows.h"
#include "support/table_read.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path FixtureRoot(const std::string& name) {
    return test::SourceDir() / "tests/fixtures/page-sizes" / name;
}

// The fixtures: folder, page size, checksum layout, and the page-compressed
// tables it holds.
struct Fixture {
    const char* name;
    size_t pageSize;
    bool fullCrc32;
    std::vector<std::string> compressed;
};

const std::vector<Fixture>& Fixtures() {
    static const std::vector<Fixture> fixtures = {
        {"p4k", 4096, true, {"squeezed"}},
        {"p8k", 8192, false, {"squeezed"}},
        {"p32k", 32768, true, {"squeezed"}},
        {"p64k", 65536, false, {"squeezed"}},
        {"classic", 16384, false, {"squeezed"}},
        {"algos",
         16384,
         true,
         {"squeezed_zlib", "squeezed_lz4", "squeezed_lzo", "squeezed_lzma", "squeezed_bzip2",
          "squeezed_snappy"}},
    };
    return fixtures;
}

std::vector<std::string> TableNames(const Fixture& f) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FixtureRoot(f.name) / "expected/pages")) {
        const std::string file = entry.path().filename().string();
        const std::string suffix = ".select.tsv";
        if (file.size() > suffix.size() && file.ends_with(suffix))
            names.push_back(file.substr(0, file.size() - suffix.size()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(InnoPageSizeTest, EveryTableReadsAsTheServerReturnedIt) {
    test::TempDir spill;
    size_t tables = 0;
    for (const Fixture& f : Fixtures()) {
        const fs::path folder = FixtureRoot(f.name) / "datadir/pages";
        const fs::path ibdata = FixtureRoot(f.name) / "datadir/ibdata1";
        CInnoDictionary dictionary;
        const bool withDictionary = fs::exists(ibdata);
        if (withDictionary) {
            CDamageReport report;
            ASSERT_TRUE(dictionary.Open(ibdata, test::TestApp(), &report)) << f.name;
            EXPECT_EQ(report.Findings().size(), 0u) << f.name;
        }
        for (const std::string& name : TableNames(f)) {
            ++tables;
            const test::ExpectedTable expected =
                test::LoadExpectedTableFrom(FixtureRoot(f.name) / "expected/pages", "pages", name);
            ASSERT_FALSE(expected.rows.empty()) << name;
            for (const CInnoDictionary* dict :
                 {withDictionary ? &dictionary : nullptr, static_cast<CInnoDictionary*>(nullptr)}) {
                for (bool exportMode : {false, true}) {
                    SCOPED_TRACE(std::string(f.name) + " " + name + (exportMode ? " export" : "") +
                                 (dict ? " dictionary" : " .frm"));
                    const test::TableRead read =
                        test::ReadWholeTable(folder, name, exportMode, spill.path(), dict);
                    EXPECT_EQ(read.result, OpenRowsResult::kOk);
                    for (const DamageFinding& finding : read.findings)
                        ADD_FAILURE() << DamageLine(finding);
                    for (const std::string& p :
                         test::CompareRows(expected, read.rows, exportMode, true))
                        ADD_FAILURE() << p;
                }
            }
        }
    }
    EXPECT_EQ(tables, 4u * 5 + 6);
}

// The fixtures hold what they claim: every tablespace has the server's page
// size, the tables that ought to have trees of more than one level have
// them, and the page-compressed ones keep most pages compressed on disk, so
// that reading them above took decompression.
TEST(InnoPageSizeTest, FixturesHoldTheLayoutsTheyClaim) {
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.name);
        for (const auto& row : test::ReadTsv(FixtureRoot(f.name) / "expected/flags.tsv")) {
            if (row[0] == "NAME") continue;
            const fs::path ibd = FixtureRoot(f.name) / "datadir" / (row[0] + ".ibd");
            CTablespace space;
            ASSERT_TRUE(space.Open(ibd)) << ibd;
            EXPECT_EQ(space.pageSize(), std::stoul(row[2])) << row[0];
            EXPECT_EQ(space.pageSize(), f.pageSize) << row[0];
            EXPECT_EQ(space.format().fullCrc32, f.fullCrc32) << row[0];
            const bool compressed = std::find(f.compressed.begin(), f.compressed.end(),
                                              row[0].substr(6)) != f.compressed.end();
            EXPECT_EQ(space.format().pageCompressed, compressed) << row[0];
            const std::vector<uint8_t> file = test::ReadFileBytes(ibd);
            size_t kept = 0;
            for (size_t at = 0; at + f.pageSize <= file.size(); at += f.pageSize)
                kept += LooksPageCompressed(ByteSpan(file.data() + at, f.pageSize)) ? 1 : 0;
            if (compressed)
                EXPECT_GT(kept, file.size() / f.pageSize / 2) << row[0];
            else
                EXPECT_EQ(kept, 0u) << row[0];
            if (row[0] == "pages/deep") {
                // The root of the clustered index of a table of its own.
                EXPECT_GE(CIndexPageView(space.Page(3)).level(), 1u);
            }
            if (f.pageSize != 16384 && row[0] == "pages/deep") {
                const fs::path ibdata = FixtureRoot(f.name) / "datadir/ibdata1";
                CTablespace system;
                ASSERT_TRUE(system.Open(ibdata));
                EXPECT_EQ(system.pageSize(), f.pageSize);
            }
        }
    }
}

// The first page-compressed leaf in the file: the page number, the bytes of
// the file.
struct CompressedLeaf {
    size_t page = 0;
    std::vector<uint8_t> file;
};

CompressedLeaf FindCompressedLeaf(const fs::path& ibd) {
    CompressedLeaf leaf;
    CTablespace space;
    EXPECT_TRUE(space.Open(ibd));
    leaf.file = test::ReadFileBytes(ibd);
    const size_t size = space.pageSize();
    for (size_t p = 4; p < space.pageCount(); ++p) {
        const CIndexPageView view(space.Page(p));
        if (view.isIndexPage() && view.level() == 0 && view.header().userRecords > 0 &&
            LooksPageCompressed(ByteSpan(leaf.file.data() + p * size, size))) {
            leaf.page = p;
            break;
        }
    }
    return leaf;
}

// A page-compressed leaf whose compressed bytes are damaged, or whose
// header no longer names a length or algorithm that fits, is reported as
// lost (how many rows it held is not known); the other leaves are still read.
TEST(InnoPageSizeTest, DamagedCompressedPagesAreReportedAndTheRestRead) {
    struct Case {
        const char* fixture;
        const char* table;
        const char* damage;
        std::function<void(uint8_t* page, size_t size)> change;
        const char* why;
    };
    const Case cases[] = {
        // full_crc32: data after the header, the stored length, the low byte
        // of the exact length.
        {"algos", "squeezed_zlib", "data", [](uint8_t* p, size_t) { p[60] ^= 0x5A; },
         "page does not decompress"},
        {"algos", "squeezed_lz4", "length",
         [](uint8_t* p, size_t) { p[25] = static_cast<uint8_t>(p[25] + 1); },
         "page does not decompress"},
        {"p4k", "squeezed", "stored length past the page", [](uint8_t* p, size_t) { p[25] = 0x7F; },
         "page does not decompress"},
        // The older layout: data, the length field, the algorithm.
        {"classic", "squeezed", "data", [](uint8_t* p, size_t) { p[70] ^= 0x5A; },
         "page does not decompress"},
        {"p8k", "squeezed", "length past the page",
         [](uint8_t* p, size_t) { p[38] = 0xFF, p[39] = 0xFF; }, "page does not decompress"},
        {"p64k", "squeezed", "unknown algorithm", [](uint8_t* p, size_t) { p[33] = 9; },
         "page names an unknown compression algorithm"},
        // Encrypted after compression: full_crc32 names the key version in
        // the first bytes and leaves the type readable; the older layout has
        // a type of its own. Neither is a page that fails to decompress.
        {"algos", "squeezed_zlib", "encrypted",
         [](uint8_t* p, size_t) {
             p[3] = 1;
             const size_t stored = size_t{p[25]} << 8;
             for (size_t i = 26; i + 4 < stored; ++i) p[i] ^= static_cast<uint8_t>(0xA5 + i);
         },
         "encrypted; needs the keyring"},
        {"p4k", "squeezed", "encrypted", [](uint8_t* p, size_t) { p[3] = 7, p[60] ^= 0x5A; },
         "encrypted; needs the keyring"},
        {"classic", "squeezed", "encrypted", [](uint8_t* p, size_t) { p[24] = 0x92, p[25] = 0x19; },
         "encrypted; needs the keyring"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + c.table + ": " + c.damage);
        const fs::path from = FixtureRoot(c.fixture) / "datadir/pages";
        CompressedLeaf leaf = FindCompressedLeaf(from / (std::string(c.table) + ".ibd"));
        ASSERT_NE(leaf.page, 0u);
        CTablespace original;
        ASSERT_TRUE(original.Open(from / (std::string(c.table) + ".ibd")));
        const size_t size = original.pageSize();
        const int64_t leafRows = CIndexPageView(original.Page(leaf.page)).header().userRecords;
        c.change(leaf.file.data() + leaf.page * size, size);
        test::TempDir dir;
        fs::copy_file(from / (std::string(c.table) + ".frm"),
                      dir.path() / (std::string(c.table) + ".frm"));
        test::WriteFile(dir.path() / (std::string(c.table) + ".ibd"), leaf.file);

        const test::ExpectedTable expected = test::LoadExpectedTableFrom(
            FixtureRoot(c.fixture) / "expected/pages", "pages", c.table);
        const test::TableRead read = test::ReadWholeTable(dir.path(), c.table, false, dir.path());
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        EXPECT_EQ(static_cast<int64_t>(read.rows.size()),
                  static_cast<int64_t>(expected.rows.size()) - leafRows);
        const bool reported =
            std::any_of(read.findings.begin(), read.findings.end(), [&](const DamageFinding& f) {
                return f.page == static_cast<int64_t>(leaf.page) && f.what == DamageWhat::kPage &&
                       f.why == c.why && f.rowsLost == -1 && !f.rowsStillRead;
            });
        std::string lines;
        for (const DamageFinding& f : read.findings) lines += DamageLine(f) + "\n";
        EXPECT_TRUE(reported) << lines;
    }
}

// A full_crc32 page whose compressed form fails its checksum but still
// decompresses is read and reported as read with a checksum mismatch.
TEST(InnoPageSizeTest, CompressedPageWithABadChecksumIsReadAndReported) {
    const fs::path from = FixtureRoot("algos") / "datadir/pages";
    CompressedLeaf leaf = FindCompressedLeaf(from / "squeezed_zlib.ibd");
    ASSERT_NE(leaf.page, 0u);
    uint8_t* page = leaf.file.data() + leaf.page * 16384;
    const size_t stored = size_t{page[25]} << 8;
    page[stored - 1] ^= 1;  // the checksum itself
    test::TempDir dir;
    fs::copy_file(from / "squeezed_zlib.frm", dir.path() / "squeezed_zlib.frm");
    test::WriteFile(dir.path() / "squeezed_zlib.ibd", leaf.file);
    const test::TableRead read =
        test::ReadWholeTable(dir.path(), "squeezed_zlib", false, dir.path());
    const test::ExpectedTable expected = test::LoadExpectedTableFrom(
        FixtureRoot("algos") / "expected/pages", "pages", "squeezed_zlib");
    for (const std::string& p : test::CompareRows(expected, read.rows, false, true))
        ADD_FAILURE() << p;
    std::string lines;
    for (const DamageFinding& f : read.findings) lines += DamageLine(f) + "\n";
    ASSERT_EQ(read.findings.size(), 1u) << lines;
    EXPECT_EQ(read.findings[0].page, static_cast<int64_t>(leaf.page));
    EXPECT_EQ(read.findings[0].why, "checksum mismatch");
    EXPECT_TRUE(read.findings[0].rowsStillRead);
}

// The page size comes from page 0's flags in both layouts; flags that name
// no size, or a size page 0 does not check at while it checks at 16 KiB,
// leave 16 KiB pages.
TEST(InnoPageSizeTest, PageSizeFollowsTheFlagsOfPageZero) {
    struct Case {
        const char* name;
        uint32_t flags;
        uint32_t pageSize;  // of the format the flags give
    };
    const Case cases[] = {
        {"full_crc32 4 KiB", 0x10 | 3, 4096},       {"full_crc32 64 KiB", 0x10 | 7, 65536},
        {"full_crc32, no size", 0x10 | 9, 0},       {"classic 16 KiB", 0x21, 16384},
        {"classic 8 KiB", 0x21 | (4u << 6), 8192},  {"classic 32 KiB", 0x21 | (6u << 6), 32768},
        {"classic, no size", 0x21 | (12u << 6), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> page(kPageSize, 0);
        for (int i = 0; i < 4; ++i) page[54 + i] = static_cast<uint8_t>(c.flags >> (24 - 8 * i));
        EXPECT_EQ(ReadSpaceFormat(page).pageSize, c.pageSize);
        // A file of this page 0 that no checksum accepts at any size is read
        // at the size the flags name.
        test::TempDir dir;
        test::WriteFile(dir.path() / "t.ibd", std::vector<uint8_t>(page.begin(), page.end()));
        CTablespace space;
        ASSERT_TRUE(space.Open(dir.path() / "t.ibd"));
        EXPECT_EQ(space.pageSize(), c.pageSize == 0 ? 16384u : c.pageSize);
    }
    // A whole 16 KiB tablespace whose flags were changed to name 4 KiB: page
    // 0 checks only at 16 KiB, and the pages are read as such.
    std::vector<uint8_t> file =
        test::ReadFileBytes(test::FixtureDataDir() / "paging/inno_compact_2500.ibd");
    file[54 + 3] = 0x10 | 3;
    const uint32_t crc = Crc32c(ByteSpan(file.data(), kPageSize - 4));
    for (int i = 0; i < 4; ++i) file[kPageSize - 4 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    test::TempDir dir;
    test::WriteFile(dir.path() / "t.ibd", file);
    CTablespace space;
    ASSERT_TRUE(space.Open(dir.path() / "t.ibd"));
    EXPECT_EQ(space.pageSize(), 16384u);
}

// Decompression on hostile headers: lengths at and past every edge of the
// page, in both layouts, give a failure and never a read outside the page.
TEST(InnoPageSizeTest, HostileCompressionHeadersFailInsideThePage) {
    std::vector<uint8_t> out(4096);
    for (uint32_t algorithm = 0; algorithm <= 7; ++algorithm) {
        for (uint32_t sizeByte : {0u, 1u, 2u, 15u, 16u, 255u}) {
            for (uint8_t low : {uint8_t{0}, uint8_t{1}, uint8_t{4}, uint8_t{255}}) {
                SCOPED_TRACE(std::to_string(algorithm) + " " + std::to_string(sizeByte) + " " +
                             std::to_string(low));
                std::vector<uint8_t> raw(4096, 0xA5);
                raw[24] = 0x80;
                raw[25] = static_cast<uint8_t>(sizeByte);
                const size_t stored = size_t{sizeByte} << 8;
                if (stored >= 5 && stored <= raw.size()) raw[stored - 5] = low;
                SpaceFormat format;
                format.pageCompressed = true;
                format.fullCrc32 = true;
                format.algorithm = algorithm;
                const DecompressResult result = DecompressPage(raw, format, out);
                EXPECT_NE(result.state, DecompressState::kDone);
                // The older layout: the same bytes under its page type.
                raw[24] = 34354 >> 8;
                raw[25] = 34354 & 0xFF;
                raw[0] = 0xDE, raw[1] = 0xAD, raw[2] = 0xBE, raw[3] = 0xEF;
                std::fill(raw.begin() + 26, raw.begin() + 32, 0);
                raw[32] = 0;
                raw[33] = static_cast<uint8_t>(algorithm);
                raw[38] = static_cast<uint8_t>(sizeByte >> 4);
                raw[39] = low;
                format.fullCrc32 = false;
                EXPECT_NE(DecompressPage(raw, format, out).state, DecompressState::kDone);
            }
        }
    }
}

}  // namespace
}  // namespace brix
