// ROW_FORMAT=COMPRESSED tables a MariaDB server wrote at every KEY_BLOCK_SIZE
// (tests/fixtures/make-compressed-fixtures), with rows updated and deleted
// after their pages were compressed, off-page values included, read and
// compared cell for cell with what the server returned; MySQL 9's
// compressed tablespaces, dictionary included; then compressed pages damaged.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/page_check.h"
#include "innodb/page_view.h"
#include "innodb/page_zip.h"
#include "innodb/tablespace.h"
#include "sdi/sdi_reader.h"
#include "support/expected_rows.h"
#include "support/table_read.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path Root() {
    return test::SourceDir() / "tests/fixtures/compressed";
}

fs::path Extra() {
    return test::SourceDir() / "tests/fixtures/mysql9-extra";
}

// Rows deleted while a read view still held them keep their compressed
// large objects: recovered, each value is the one the server showed before
// the delete.
TEST(PageZipTest, DeletedRowsKeepTheirCompressedLargeObjects) {
    test::TempDir spill;
    for (const char* name : {"z8", "z4"}) {
        SCOPED_TRACE(name);
        test::ExpectedTable expected =
            test::LoadExpectedTableFrom(Extra() / "expected/zlob", "zlob", name);
        auto rows = test::ReadTsv(Extra() / "expected/zlob" / (std::string(name) + ".deleted.tsv"));
        ASSERT_GT(rows.size(), 1u);
        rows.erase(rows.begin());
        expected.rows = std::move(rows);
        const test::TableRead read =
            test::ReadWholeTable(Extra() / "datadir/zlob", name, true, spill.path(), nullptr, true);
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        for (const DamageFinding& finding : read.findings) ADD_FAILURE() << DamageLine(finding);
        // The recovered rows carry two columns more, after the table's.
        for (const std::string& p : test::CompareRows(expected, read.rows, true, true))
            ADD_FAILURE() << p;
    }
}

// Every table of both servers reads as the server returned it, in display
// and export mode, without a finding.
TEST(PageZipTest, CompressedTablesReadAsTheServerReturnedThem) {
    test::TempDir spill;
    struct Case {
        fs::path folder;
        fs::path expected;
        std::string database;
        std::string table;
    };
    const fs::path mysql = test::SourceDir() / "tests/fixtures/mysql9";
    std::vector<Case> cases;
    for (const char* name : {"kb1", "kb2", "kb4", "kb8", "kb16", "lobs8"})
        cases.push_back({Root() / "datadir/zip", Root() / "expected/zip", "zip", name});
    for (const char* name : {"zipped", "zipped4"})
        cases.push_back({mysql / "datadir/lobs", mysql / "expected/lobs", "lobs", name});
    // Values longer than a compressed chunk, kept as compressed large
    // objects: of every page size, compressible or not, and a JSON value
    // updated in part, whose object holds older versions of its entries.
    for (const char* name : {"z8", "z4", "z16"})
        cases.push_back({Extra() / "datadir/zlob", Extra() / "expected/zlob", "zlob", name});
    for (const Case& c : cases) {
        const test::ExpectedTable expected =
            test::LoadExpectedTableFrom(c.expected, c.database, c.table);
        ASSERT_FALSE(expected.rows.empty()) << c.table;
        for (bool exportMode : {false, true}) {
            // MySQL's long binary TEXT values show a placeholder on screen:
            // compared in export mode only.
            if ((c.database == "lobs" || c.database == "zlob") && !exportMode) continue;
            SCOPED_TRACE(c.table + (exportMode ? " export" : ""));
            const test::TableRead read =
                test::ReadWholeTable(c.folder, c.table, exportMode, spill.path());
            EXPECT_EQ(read.result, OpenRowsResult::kOk);
            for (const DamageFinding& finding : read.findings) ADD_FAILURE() << DamageLine(finding);
            for (const std::string& p : test::CompareRows(expected, read.rows, exportMode, true))
                ADD_FAILURE() << p;
        }
    }
}

// The fixtures hold what they claim: pages of the zip size each table asked
// for, handed out at 16 KiB, and the small sizes with an index of more than
// one level.
TEST(PageZipTest, FixturesHoldTheLayoutsTheyClaim) {
    for (const auto& row : test::ReadTsv(Root() / "expected/flags.tsv")) {
        if (row[0] == "NAME") continue;
        SCOPED_TRACE(row[0]);
        CTablespace space;
        ASSERT_TRUE(space.Open(Root() / "datadir" / (row[0] + ".ibd")));
        EXPECT_TRUE(space.format().rowCompressed);
        EXPECT_EQ(space.physicalPageSize(), std::stoul(row[2]));
        EXPECT_EQ(space.pageSize(), kPageSize);
        EXPECT_EQ(UnreadFormatReason(space.format()), "");
        // The root of the clustered index, rebuilt.
        const CIndexPageView root(space.Page(3));
        EXPECT_TRUE(root.holdsRecords());
        EXPECT_EQ(CheckPage(root.bytes()), PageState::kSound);
        if (row[0] != "zip/lobs8" && space.physicalPageSize() <= 4096) {
            EXPECT_GE(root.level(), 1u);
        }
    }
}

// MySQL keeps the dictionary of a compressed tablespace in compressed pages
// too: it reads, and gives the table its columns.
TEST(PageZipTest, MySqlCompressedTablespaceDictionaryReads) {
    for (const char* name : {"zipped", "zipped4"}) {
        SCOPED_TRACE(name);
        const fs::path ibd =
            test::SourceDir() / "tests/fixtures/mysql9/datadir/lobs" / (std::string(name) + ".ibd");
        CDamageReport report;
        const SdiReadResult result = ReadSdi(ibd, &report);
        EXPECT_TRUE(result.findings.empty()) << result.findings.front();
        EXPECT_FALSE(result.objects.empty());
        EXPECT_EQ(report.Findings().size(), 0u);
    }
}

// Damaged compressed pages: the page does not rebuild or rebuilds failing
// its checksum, no read leaves the page, and the table reports it.
TEST(PageZipTest, DamagedCompressedPagesAreReported) {
    const fs::path ibd = Root() / "datadir/zip/kb4.ibd";
    const std::vector<uint8_t> file = test::ReadFileBytes(ibd);
    constexpr size_t kZip = 4096;
    ASSERT_GE(file.size(), 6 * kZip);
    // A leaf page: page 5 is the first leaf of the clustered index.
    const std::vector<uint8_t> leaf(file.begin() + 5 * kZip, file.begin() + 6 * kZip);
    std::vector<uint8_t> out(kPageSize);
    {
        const ZipPageResult whole = DecompressZipPage(leaf, out);
        ASSERT_TRUE(whole.done) << whole.why;
        EXPECT_TRUE(whole.checksumSound);
        EXPECT_EQ(CheckPage(out), PageState::kSound);
    }
    struct Damage {
        const char* what;
        size_t at;
        uint8_t value;
        bool rebuilds;
    };
    const Damage damages[] = {
        {"a byte of the stream", 200, 0x5A, false},
        {"the record count", 38 + 16, 0x7F, false},
        {"the heap count", 38 + 4, 0xFF, false},
        {"the first directory entry's offset", kZip - 2, 0x3F, false},
        {"the page number", 4 + 3, 0x11, true},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::vector<uint8_t> bad = leaf;
        bad[d.at] ^= d.value;
        const ZipPageResult result = DecompressZipPage(bad, out);
        EXPECT_FALSE(result.checksumSound);
        EXPECT_EQ(result.done, d.rebuilds) << result.why;
        if (result.done)
            EXPECT_EQ(CheckPage(out), PageState::kBadChecksum);
        else
            EXPECT_FALSE(result.why.empty());
    }
    // Every single byte damaged: never a read outside the page (the
    // sanitizers watch), and a page that rebuilds fails its checksum.
    for (size_t at = 0; at < kZip; at += 7) {
        std::vector<uint8_t> bad = leaf;
        bad[at] ^= 0xA5;
        const ZipPageResult result = DecompressZipPage(bad, out);
        if (result.done && !result.checksumSound) {
            EXPECT_NE(CheckPage(out), PageState::kSound);
        }
    }

    // The table with that leaf damaged: its other rows read, the page is
    // reported with the rows it held.
    test::TempDir dir;
    std::filesystem::copy_file(Root() / "datadir/zip/kb4.frm", dir.path() / "kb4.frm");
    std::vector<uint8_t> damaged = file;
    damaged[5 * kZip + 300] ^= 0x5A;
    test::WriteFile(dir.path() / "kb4.ibd", damaged);
    const test::TableRead read =
        test::ReadWholeTable(dir.path(), "kb4", false, dir.path() / "spill");
    EXPECT_EQ(read.result, OpenRowsResult::kOk);
    EXPECT_GT(read.rows.size(), 0u);
    EXPECT_LT(read.rows.size(), 831u);
    ASSERT_FALSE(read.findings.empty());
    EXPECT_EQ(read.findings.front().page, 5);
}

// Compressed pages of sizes InnoDB does not write, and of all zeros, do not
// rebuild; an all-zero page passes its checksum as the server's does.
TEST(PageZipTest, PagesThatCannotBeCompressedPagesDoNotRebuild) {
    std::vector<uint8_t> out(kPageSize);
    for (size_t size : {size_t{0}, size_t{512}, size_t{3000}, size_t{32768}}) {
        const std::vector<uint8_t> raw(size, 0);
        EXPECT_FALSE(DecompressZipPage(raw, out).done) << size;
    }
    const std::vector<uint8_t> zeros(2048, 0);
    EXPECT_TRUE(ZipChecksumSound(zeros));
    EXPECT_FALSE(DecompressZipPage(zeros, out).done);
    std::vector<uint8_t> small(4096);
    EXPECT_FALSE(DecompressZipPage(std::vector<uint8_t>(8192, 0), small).done);
    EXPECT_EQ(ZipPageSize(0), 0u);
    EXPECT_EQ(ZipPageSize(1 << 1), 1024u);
    EXPECT_EQ(ZipPageSize(5 << 1), 16384u);
    EXPECT_EQ(ZipPageSize(6 << 1), 0u);
    EXPECT_EQ(ZipPageSize((1 << 4) | (3 << 1)), 0u);  // full_crc32 flags
}

// Pages of a compressed large object damaged, one fault at a time, in a
// copy of a real table: every row still reads, the broken value is
// reported, and no read leaves its page (the sanitizers watch).
TEST(PageZipTest, DamagedCompressedLargeObjectsAreReported) {
    const std::vector<uint8_t> file = test::ReadFileBytes(Extra() / "datadir/zlob/z8.ibd");
    constexpr size_t kZip = 8192;
    auto pageOf = [&](uint16_t type, size_t nth) -> size_t {
        for (size_t p = 0, seen = 0; (p + 1) * kZip <= file.size(); ++p) {
            if (LoadU16be(ByteSpan(file).subspan(p * kZip, kZip), 24) != type) continue;
            if (seen++ == nth) return p;
        }
        return 0;
    };
    const size_t first = pageOf(25, 0);
    const size_t data = pageOf(26, 0);
    const size_t frag = pageOf(28, 0);
    ASSERT_NE(first, 0u);
    ASSERT_NE(data, 0u);
    ASSERT_NE(frag, 0u);
    const ByteSpan firstBytes = ByteSpan(file).subspan(first * kZip, kZip);
    // The first entry of the index list.
    const size_t entry = first * kZip + LoadU16be(firstBytes, 92 + 4);
    ASSERT_EQ(LoadU32be(firstBytes, 92), first);
    // The fragment the directory's first entry names.
    const size_t fragment = LoadU16be(ByteSpan(file).subspan(frag * kZip, kZip), kZip - 12);
    ASSERT_GT(fragment, 38u);
    struct Damage {
        const char* what;
        size_t at;
        std::vector<uint8_t> bytes;
    };
    const uint8_t firstNo[4] = {static_cast<uint8_t>(first >> 24),
                                static_cast<uint8_t>(first >> 16), static_cast<uint8_t>(first >> 8),
                                static_cast<uint8_t>(first)};
    const uint8_t entryLow = static_cast<uint8_t>(entry % kZip);
    const uint8_t entryHigh = static_cast<uint8_t>((entry % kZip) >> 8);
    const Damage damages[] = {
        {"the list's first entry outside the file", first * kZip + 92, {0x7F, 0xFF, 0xFF, 0xF0}},
        {"the list's first entry between two slots", first * kZip + 96 + 1, {0x89}},
        {"an entry that links to itself",
         entry + 6,
         {firstNo[0], firstNo[1], firstNo[2], firstNo[3], entryHigh, entryLow}},
        {"an entry's stream on a page of another type", entry + 48, {0, 0, 0, 3}},
        {"an entry's inflated length one more", entry + 54 + 3, {0x01}},
        {"an entry's compressed length cut short", entry + 58, {0, 0, 0, 0x20}},
        {"the first page's stream bytes", first * kZip + 7816 + 40, {0x55, 0xAA, 0x55, 0xAA}},
        {"the first page's stream length past the page", first * kZip + 54, {0, 0, 0xFF, 0xF0}},
        {"a data page's stream bytes", data * kZip + 49 + 200, {0xDE, 0xAD, 0xBE, 0xEF}},
        {"a data page's length past the page", data * kZip + 39, {0, 1, 0, 0}},
        {"a data page linking to itself",
         data * kZip + 12,
         {static_cast<uint8_t>(data >> 24), static_cast<uint8_t>(data >> 16),
          static_cast<uint8_t>(data >> 8), static_cast<uint8_t>(data)}},
        {"a fragment directory of many entries", frag * kZip + kZip - 10, {0x7F, 0xFF}},
        {"a fragment's offset past the directory", frag * kZip + kZip - 12, {0x1F, 0xF0}},
        {"a fragment's length past the page", frag * kZip + fragment + 4, {0x7F, 0xFF}},
        {"a fragment's length below its header", frag * kZip + fragment + 4, {0x00, 0x03}},
    };
    const test::ExpectedTable expected =
        test::LoadExpectedTableFrom(Extra() / "expected/zlob", "zlob", "z8");
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        test::TempDir dir;
        std::vector<uint8_t> bad = file;
        ASSERT_LE(d.at + d.bytes.size(), bad.size());
        std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(d.at));
        test::WriteFile(dir.path() / "z8.ibd", bad);
        const test::TableRead read =
            test::ReadWholeTable(dir.path(), "z8", true, dir.path() / "spill");
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        EXPECT_EQ(read.rows.size(), expected.rows.size());
        EXPECT_FALSE(read.findings.empty());
        // Values the damage does not touch read as before.
        if (read.rows.size() == expected.rows.size()) {
            EXPECT_EQ(read.rows[4].nulls, std::vector<bool>({false, false, true, true, true}));
            EXPECT_EQ(read.rows[0].texts[1], expected.rows[0][1]);
        }
    }
}

// An entry written after the version a record names is read from the older
// version it keeps. The fixture's objects were purged of older versions, so
// one is rebuilt: a free entry slot of the first page becomes an older
// version of the first entry (the same stream), and the first entry is
// raised above the record's version with its stream pointed at a page of
// another type. Read through the older version, the value is whole; when
// the older version is also too new, the entry itself is read and breaks.
TEST(PageZipTest, EntriesNewerThanTheRecordReadTheirOlderVersion) {
    const std::vector<uint8_t> file = test::ReadFileBytes(Extra() / "datadir/zlob/z8.ibd");
    constexpr size_t kZip = 8192;
    // The JSON value updated twice: its object is at version 3.
    size_t first = 0;
    for (size_t p = 0; (p + 1) * kZip <= file.size() && first == 0; ++p) {
        const ByteSpan page = ByteSpan(file).subspan(p * kZip, kZip);
        if (LoadU16be(page, 24) == 25 && LoadU32be(page, 40) == 3) first = p;
    }
    ASSERT_NE(first, 0u);
    const size_t base = first * kZip;
    const size_t entry = base + LoadU16be(ByteSpan(file), base + 96);
    const size_t spare = base + 136 + 66 * 79;
    const test::ExpectedTable expected =
        test::LoadExpectedTableFrom(Extra() / "expected/zlob", "zlob", "z8");
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    const struct {
        const char* what;
        uint32_t olderVersion;
        bool whole;
    } cases[] = {{"an older version the record sees", 1, true},
                 {"an older version newer than the record", 7, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = file;
        std::copy(bad.begin() + static_cast<std::ptrdiff_t>(entry),
                  bad.begin() + static_cast<std::ptrdiff_t>(entry + 66),
                  bad.begin() + static_cast<std::ptrdiff_t>(spare));
        put32(bad, spare + 6, 0xFFFFFFFF);  // the older version ends its list
        put32(bad, spare + 62, c.olderVersion);
        put32(bad, entry + 12, 1);  // the version list: length, first address
        put32(bad, entry + 16, static_cast<uint32_t>(first));
        bad[entry + 20] = static_cast<uint8_t>((spare - base) >> 8);
        bad[entry + 21] = static_cast<uint8_t>(spare - base);
        put32(bad, entry + 62, 9);
        put32(bad, entry + 48, 3);
        test::TempDir dir;
        test::WriteFile(dir.path() / "z8.ibd", bad);
        const test::TableRead read =
            test::ReadWholeTable(dir.path(), "z8", true, dir.path() / "spill");
        EXPECT_EQ(read.findings.empty(), c.whole);
        if (c.whole) {
            for (const std::string& p : test::CompareRows(expected, read.rows, true, true))
                ADD_FAILURE() << p;
        }
    }
}

}  // namespace
}  // namespace brix
