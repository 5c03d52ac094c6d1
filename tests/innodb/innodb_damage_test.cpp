// Damaged copies of real tablespaces: what the readers report, and which
// rows still come back (each exactly once) when the tree is broken.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/byte_reader.h"
#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/dictionary.h"
#include "innodb/inno_table_reader.h"
#include "innodb/page_check.h"
#include "innodb/tablespace.h"
#include "support/test_support.h"

namespace brix {
namespace {

constexpr size_t kPage = kPageSize;
// The MariaDB fixture of 2500 rows (ids 1..2500): root page 3 at level 1,
// leaves 4, 5, 7 ... 26 in key order, 117 records on leaf 9, index id 57.
constexpr const char* kTable = "inno_compact_2500";
constexpr int kRows = 2500;
constexpr uint32_t kRoot = 3;
constexpr uint32_t kLeaf = 9;
constexpr int kLeafRows = 117;

// Byte offsets in a page.
constexpr size_t kPrevious = 8;
constexpr size_t kNext = 12;
constexpr size_t kFlags = 38 + 16;          // page 0: the tablespace flags
constexpr size_t kLevel = 38 + 26;          // index page header: level
constexpr size_t kIndexId = 38 + 28;        // index page header: index id
constexpr size_t kFreeSpace = kPage - 200;  // between the records and the directory

void StoreU32be(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Writes the full_crc32 checksum the fixture's pages carry, so that a change
// is seen for what it is, not as a checksum mismatch.
void Reseal(std::vector<uint8_t>& file, uint32_t page) {
    const size_t at = page * kPage;
    StoreU32be(file, at + kPage - 4, Crc32c(ByteSpan(file.data() + at, kPage - 4)));
}

struct Damaged {
    test::TempDir dir;
    std::filesystem::path folder() const { return dir.path(); }
};

// A copy of a fixture table of the paging folder with its .ibd changed by
// damage.
void CopyTable(const Damaged& into, const std::function<void(std::vector<uint8_t>&)>& damage,
               const std::string& table = kTable) {
    const std::filesystem::path from = test::FixtureDataDir() / "paging";
    std::filesystem::copy_file(from / (table + ".frm"), into.folder() / (table + ".frm"));
    std::vector<uint8_t> ibd = test::ReadFileBytes(from / (table + ".ibd"));
    if (damage) damage(ibd);
    test::WriteFile(into.folder() / (table + ".ibd"), ibd);
}

struct ReadBack {
    OpenRowsResult result = OpenRowsResult::kOk;
    std::vector<int> ids;  // in the order read
    std::vector<DamageFinding> findings;
};

// Opens the table and reads every window, windows of windowRows rows.
ReadBack ReadAll(const std::filesystem::path& folder, size_t windowRows = kWindowRows) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    options.windowRows = windowRows;
    CTableRows rows;
    ReadBack back;
    back.result = rows.Open(folder, Utf8ToUtf16(kTable), *app, options);
    for (int windows = 0; windows < 1000; ++windows) {
        for (size_t r = 0; r < rows.rows().rowCount(); ++r)
            back.ids.push_back(std::stoi(test::U8(rows.rows().Text(r, 0))));
        if (!rows.ReadNextWindow(*app)) break;
    }
    back.findings = report.Findings();
    return back;
}

// Every id of 1..kRows but those of the leaf pages lost comes back once.
void ExpectEachRowOnce(const std::vector<int>& ids, int lost) {
    std::map<int, int> seen;
    for (int id : ids) ++seen[id];
    for (const auto& [id, count] : seen) EXPECT_EQ(count, 1) << "id " << id;
    EXPECT_EQ(static_cast<int>(seen.size()), kRows - lost);
    EXPECT_EQ(static_cast<int>(ids.size()), kRows - lost);
}

bool HasFinding(const std::vector<DamageFinding>& findings, int64_t page, DamageWhat what,
                const std::string& why, bool stillRead) {
    return std::any_of(findings.begin(), findings.end(), [&](const DamageFinding& f) {
        return f.page == page && f.what == what && f.why == why && f.rowsStillRead == stillRead;
    });
}

bool ScanReported(const std::vector<DamageFinding>& findings) {
    return std::any_of(findings.begin(), findings.end(), [](const DamageFinding& f) {
        return f.why.find("recovered by scanning the file") != std::string::npos;
    });
}

TEST(InnoDamageTest, AnIntactTableReportsNothing) {
    Damaged copy;
    CopyTable(copy, nullptr);
    const ReadBack back = ReadAll(copy.folder());
    EXPECT_TRUE(back.findings.empty()) << DamageLine(back.findings.front());
    ExpectEachRowOnce(back.ids, 0);
    EXPECT_TRUE(std::is_sorted(back.ids.begin(), back.ids.end()));
}

// Each damage, the finding it gives, the rows lost with it, and whether the
// rest of the leaves come from the scan past the broken tree.
TEST(InnoDamageTest, DamagedPagesAreReportedAndTheRestOfTheRowsReadOnce) {
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        int64_t page;
        DamageWhat what;
        std::string why;
        bool stillRead;
        int lostRows;
        bool scanned;
    };
    const auto zero = [](uint32_t page) {
        return [page](std::vector<uint8_t>& f) {
            std::fill_n(f.begin() + page * kPage, kPage, uint8_t{0});
        };
    };
    const Case cases[] = {
        {"zeroed root", zero(kRoot), kRoot, DamageWhat::kPage, "page is all zeros", false, 0, true},
        {"zeroed root, a leaf marked free",
         [&](std::vector<uint8_t>& f) {
             zero(kRoot)(f);
             // Extent descriptor of pages 0..63 on page 0: its page bits
             // start at 38 + 112 + 24, two per page, the first set when free.
             f[38 + 112 + 24 + kLeaf * 2 / 8] |= 1 << (kLeaf * 2 % 8);
             Reseal(f, 0);
         },
         kRoot, DamageWhat::kPage, "page is all zeros", false, kLeafRows, true},
        {"zeroed leaf", zero(kLeaf), kLeaf, DamageWhat::kPage, "page is all zeros", false,
         kLeafRows, true},
        {"zeroed first leaf", zero(4), 4, DamageWhat::kPage, "page is all zeros", false, kLeafRows,
         true},
        {"bad checksum, records parse",
         [](std::vector<uint8_t>& f) { f[kLeaf * kPage + kFreeSpace] ^= 0x5A; }, kLeaf,
         DamageWhat::kPage, "checksum mismatch", true, 0, false},
        {"bad checksum, records do not parse",
         [](std::vector<uint8_t>& f) {
             // The infimum's link points back at the infimum: the list loops.
             f[kLeaf * kPage + 97] = 0;
             f[kLeaf * kPage + 98] = 0;
         },
         kLeaf, DamageWhat::kPage, "checksum mismatch", false, kLeafRows, true},
        {"LSN copies differ",
         [](std::vector<uint8_t>& f) {
             f[kLeaf * kPage + kPage - 8] ^= 1;
             Reseal(f, kLeaf);
         },
         kLeaf, DamageWhat::kPage, "LSN copies in header and trailer differ", true, 0, false},
        {"wrong index id",
         [](std::vector<uint8_t>& f) {
             f[kLeaf * kPage + kIndexId + 7] ^= 0x40;
             Reseal(f, kLeaf);
         },
         kLeaf, DamageWhat::kPage, "page belongs to another index", false, kLeafRows, true},
        {"wrong level",
         [](std::vector<uint8_t>& f) {
             f[kLeaf * kPage + kLevel + 1] = 1;
             Reseal(f, kLeaf);
         },
         kLeaf, DamageWhat::kPage, "page is at the wrong level", false, kLeafRows, true},
        {"leaf link loops back",
         [](std::vector<uint8_t>& f) {
             StoreU32be(f, 12 * kPage + kNext, 8);
             Reseal(f, 12);
         },
         12, DamageWhat::kChain, "leaf chain loops", false, 0, true},
        {"leaf link points to itself",
         [](std::vector<uint8_t>& f) {
             StoreU32be(f, 12 * kPage + kNext, 12);
             StoreU32be(f, 12 * kPage + kPrevious, 12);
             Reseal(f, 12);
         },
         12, DamageWhat::kChain, "leaf chain loops", false, 0, true},
        {"leaf link outside the file",
         [](std::vector<uint8_t>& f) {
             StoreU32be(f, 12 * kPage + kNext, 99999);
             Reseal(f, 12);
         },
         12, DamageWhat::kChain, "link points outside the file", false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Damaged copy;
        CopyTable(copy, c.damage);
        const ReadBack back = ReadAll(copy.folder());
        EXPECT_EQ(back.result, OpenRowsResult::kOk);
        std::string lines;
        for (const DamageFinding& f : back.findings) lines += DamageLine(f) + "\n";
        EXPECT_TRUE(HasFinding(back.findings, c.page, c.what, c.why, c.stillRead)) << lines;
        ExpectEachRowOnce(back.ids, c.lostRows);
        EXPECT_EQ(ScanReported(back.findings), c.scanned);
        // Rows before the damage keep their key order.
        if (c.page != kRoot && !back.ids.empty()) {
            EXPECT_EQ(back.ids.front(), c.page == 4 ? 118 : 1);
        }
    }
}

// Paging back and forth over windows that cross from the leaf walk into the
// scan gives the same windows each time, and reports nothing twice.
TEST(InnoDamageTest, WindowsPastABrokenTreePageAlike) {
    Damaged copy;
    CopyTable(copy, [](std::vector<uint8_t>& f) {
        std::fill_n(f.begin() + 12 * kPage, kPage, uint8_t{0});
    });
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    options.windowRows = 300;
    CTableRows rows;
    ASSERT_EQ(rows.Open(copy.folder(), Utf8ToUtf16(kTable), *app, options), OpenRowsResult::kOk);
    std::vector<RecordBookmark> starts{rows.window().bookmarks.front()};
    std::vector<std::vector<std::string>> windows;
    const auto firstColumn = [&] {
        std::vector<std::string> ids;
        for (size_t r = 0; r < rows.rows().rowCount(); ++r)
            ids.push_back(test::U8(rows.rows().Text(r, 0)));
        return ids;
    };
    windows.push_back(firstColumn());
    for (;;) {
        const RecordBookmark next = rows.window().bookmarks.back();
        if (!rows.ReadNextWindow(*app)) break;
        starts.push_back(next);
        windows.push_back(firstColumn());
    }
    const size_t findings = report.Count();
    EXPECT_TRUE(std::any_of(starts.begin(), starts.end(), IsScanBookmark));
    int total = 0;
    for (const auto& w : windows) total += static_cast<int>(w.size());
    EXPECT_EQ(total, kRows - kLeafRows);
    for (size_t i = windows.size(); i-- > 0;) {
        SCOPED_TRACE(i);
        rows.ReadWindowAt(starts[i], false, *app);
        EXPECT_EQ(firstColumn(), windows[i]);
    }
    EXPECT_EQ(report.Count(), findings);
}

// Damaged pages of the system tablespace's dictionary tables are reported
// with their page and table; a page whose checksum alone fails is still read.
TEST(InnoDamageTest, DamagedDictionaryPagesAreReported) {
    const std::filesystem::path source = test::FixtureDataDir() / "ibdata1";
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CInnoDictionary sound;
    ASSERT_TRUE(sound.Open(source, *app));
    struct Case {
        uint32_t page;  // SYS_TABLES root and leaf 8, SYS_COLUMNS root 10, SYS_INDEXES 11
        bool zero;      // zeroed, or one byte of its free space changed
        const char* why;
    };
    const Case cases[] = {
        {8, false, "dictionary table SYS_TABLES: checksum mismatch"},
        {8, true, "dictionary table SYS_TABLES: page is all zeros"},
        {10, true, "dictionary table SYS_COLUMNS: page is all zeros"},
        {11, true, "dictionary table SYS_INDEXES: page is all zeros"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        test::TempDir dir;
        std::vector<uint8_t> bytes = test::ReadFileBytes(source);
        if (c.zero)
            std::fill_n(bytes.begin() + c.page * kPage, kPage, uint8_t{0});
        else
            bytes[c.page * kPage + 16000] ^= 1;
        test::WriteFile(dir.path() / "ibdata1", bytes);
        CDamageReport report;
        CInnoDictionary dictionary;
        ASSERT_TRUE(dictionary.Open(dir.path() / "ibdata1", *app, &report));
        std::string lines;
        for (const DamageFinding& f : report.Findings()) lines += DamageLine(f) + "\n";
        EXPECT_TRUE(HasFinding(report.Findings(), c.page, DamageWhat::kPage, c.why, !c.zero))
            << lines;
        EXPECT_EQ(report.Count(), 1u) << lines;
        const size_t tables = c.page == 8 && c.zero ? 0 : sound.tables().size();
        EXPECT_EQ(dictionary.tables().size(), tables);
        EXPECT_EQ(dictionary.indexes().size(), c.page == 11 ? 0 : sound.indexes().size());
    }
}

// A value whose off-page chain breaks keeps its row, with what the chain
// gave, and the break is reported (export mode reads the chains).
TEST(InnoDamageTest, BrokenOffPageChainIsReportedAndTheRowKept) {
    const std::string table = "inno_blobs_offpage";
    const auto readAll = [&](const Damaged& copy, CDamageReport& report) {
        const std::unique_ptr<CAppState> app = test::NewTestApp();
        CReadOptions options;
        options.damage = &report;
        options.exportMode = true;
        options.spillFolder = copy.folder() / "spill";
        CTableRows rows;
        EXPECT_EQ(rows.Open(copy.folder(), Utf8ToUtf16(table), *app, options), OpenRowsResult::kOk);
        size_t count = rows.rows().rowCount();
        for (int windows = 0; windows < 100 && rows.ReadNextWindow(*app); ++windows)
            count += rows.rows().rowCount();
        return count;
    };
    Damaged sound;
    CopyTable(sound, nullptr, table);
    CDamageReport none;
    const size_t rows = readAll(sound, none);
    EXPECT_TRUE(none.Empty());
    ASSERT_GT(rows, 0u);

    Damaged copy;
    CopyTable(
        copy,
        [](std::vector<uint8_t>& f) {
            constexpr uint16_t kBlobPageType = 10;
            for (size_t p = 0; p < f.size() / kPage; ++p) {
                if (LoadU16be(ByteSpan(f.data() + p * kPage, kPage), 24) == kBlobPageType) {
                    std::fill_n(f.begin() + p * kPage, kPage, uint8_t{0});
                    return;
                }
            }
        },
        table);
    CDamageReport report;
    EXPECT_EQ(readAll(copy, report), rows);
    const std::vector<DamageFinding> findings = report.Findings();
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].what, DamageWhat::kChain);
    EXPECT_EQ(findings[0].why, "value's off-page chain is broken");
}

// Tablespaces whose rows are in a form not read: Open succeeds with no rows
// and says why; so does a table whose data file is missing.
TEST(InnoDamageTest, TablesNotReadSayWhy) {
    struct Case {
        const char* name;
        uint32_t flags;  // page 0 flags; 0: the .ibd is removed
        DamageWhat what;
        const char* why;
    };
    const Case cases[] = {
        // Compressed pages of 64 KiB logical pages: their directory cannot
        // address them.
        {"ROW_FORMAT=COMPRESSED", 0x21 | (4u << 1) | (7u << 6), DamageWhat::kTable,
         "ROW_FORMAT=COMPRESSED pages are not read yet"},
        {"PAGE_COMPRESSED (full_crc32), unknown algorithm", 0x15 | (7u << 5), DamageWhat::kTable,
         "PAGE_COMPRESSED pages name an unknown compression algorithm"},
        {"MySQL encryption flag", 0x21 | (1u << 13), DamageWhat::kTable,
         "encrypted; needs the keyring"},
        {"missing .ibd", 0, DamageWhat::kFile, "data file missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Damaged copy;
        CopyTable(copy, [&](std::vector<uint8_t>& f) {
            StoreU32be(f, kFlags, c.flags);
            Reseal(f, 0);
        });
        if (c.flags == 0) std::filesystem::remove(copy.folder() / (std::string(kTable) + ".ibd"));
        const ReadBack back = ReadAll(copy.folder());
        EXPECT_EQ(back.result, OpenRowsResult::kOk);
        EXPECT_TRUE(back.ids.empty());
        ASSERT_EQ(back.findings.size(), 1u);
        EXPECT_EQ(back.findings[0].what, c.what);
        EXPECT_EQ(back.findings[0].why, c.why);
        EXPECT_FALSE(back.findings[0].rowsStillRead);
    }
}

// Flags that name another page size or page compression for a tablespace of
// whole 16 KiB pages: page 0 checks at 16 KiB only and no page is compressed,
// so every row is read and nothing is reported.
TEST(InnoDamageTest, FlagsThatDoNotFitThePagesLeaveThemRead) {
    const struct {
        const char* name;
        uint32_t flags;
    } cases[] = {
        {"4 KiB pages (full_crc32)", 0x13},     {"8 KiB pages", 0x21 | (4u << 6)},
        {"64 KiB pages", 0x21 | (7u << 6)},     {"PAGE_COMPRESSED (full_crc32)", 0x15 | (1u << 5)},
        {"PAGE_COMPRESSED", 0x21 | (1u << 16)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Damaged copy;
        CopyTable(copy, [&](std::vector<uint8_t>& f) {
            StoreU32be(f, kFlags, c.flags);
            Reseal(f, 0);
        });
        const ReadBack back = ReadAll(copy.folder());
        EXPECT_EQ(back.result, OpenRowsResult::kOk);
        ExpectEachRowOnce(back.ids, 0);
        EXPECT_TRUE(back.findings.empty());
    }
}

// A MySQL table of compressed pages keeps its definition in them too: both
// are read, and the table opens with its rows and nothing to report. Zip
// pages of a logical size above 16 KiB cannot be addressed by their
// directory: such a tablespace says why it is not read.
TEST(InnoDamageTest, CompressedMySqlTableSaysWhy) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    CTableRows rows;
    EXPECT_EQ(rows.Open(test::SourceDir() / "tests/fixtures/mysql9/datadir/lobs", u"zipped", *app,
                        options),
              OpenRowsResult::kOk);
    EXPECT_GT(rows.rows().rowCount(), 0u);
    EXPECT_TRUE(report.Findings().empty());
    SpaceFormat format;
    format.rowCompressed = true;
    format.flags = (4u << 1) | (7u << 6);  // 8 KiB zip pages of 64 KiB logical pages
    format.pageSize = 65536;
    EXPECT_EQ(UnreadFormatReason(format), "ROW_FORMAT=COMPRESSED pages are not read yet");
}

// MariaDB's crypt data on page 0 marks an encrypted tablespace whatever its
// flags say.
TEST(InnoDamageTest, MariaDbCryptDataMeansEncrypted) {
    std::vector<uint8_t> page(kPage, 0);
    const size_t at = 38 + 112 + 256 * 40;
    const uint8_t magic[] = {'s', 0x0E, 0x0C, 'R', 'E', 't', 1};
    std::copy(std::begin(magic), std::end(magic), page.begin() + at);
    EXPECT_EQ(UnreadFormatReason(ReadSpaceFormat(page)), "encrypted; needs the keyring");
    page[at + 6] = 0;  // the scheme of an unencrypted tablespace
    EXPECT_EQ(UnreadFormatReason(ReadSpaceFormat(page)), "");
}

// The checksums the servers write are accepted: full_crc32 (MariaDB), crc32
// (MySQL 9); a changed byte is not.
TEST(InnoDamageTest, ServerChecksumsAreAcceptedAndChangesSeen) {
    for (const std::filesystem::path& path :
         {test::FixtureDataDir() / "paging" / (std::string(kTable) + ".ibd"),
          test::SourceDir() / "tests/fixtures/mysql9/datadir/layout/wide.ibd"}) {
        SCOPED_TRACE(path.string());
        std::vector<uint8_t> file = test::ReadFileBytes(path);
        ASSERT_GE(file.size(), 5 * kPage);
        for (size_t p = 0; p < file.size() / kPage; ++p) {
            const PageState state = CheckPage(ByteSpan(file.data() + p * kPage, kPage));
            EXPECT_TRUE(state == PageState::kSound || state == PageState::kZero) << p;
        }
        file[4 * kPage + 300] ^= 1;
        EXPECT_EQ(CheckPage(ByteSpan(file.data() + 4 * kPage, kPage)), PageState::kBadChecksum);
    }
}

TEST(InnoDamageTest, Crc32cMatchesItsDefinitionAtEveryLengthAndStart) {
    // The check value of CRC-32C, and the bitwise definition over lengths and
    // alignments that leave every tail of the eight-byte steps.
    const std::string check = "123456789";
    EXPECT_EQ(Crc32c(ByteSpan(reinterpret_cast<const uint8_t*>(check.data()), check.size())),
              0xE3069283u);
    std::vector<uint8_t> bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t n = 0; start + n <= bytes.size(); n += 7) {
            uint32_t crc = ~0u;
            for (size_t i = start; i < start + n; ++i) {
                crc ^= bytes[i];
                for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
            }
            EXPECT_EQ(Crc32c(ByteSpan(bytes.data() + start, n)), ~crc) << start << " " << n;
        }
    }
}

}  // namespace
}  // namespace brix
