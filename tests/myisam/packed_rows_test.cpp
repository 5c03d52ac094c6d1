// Tables packed by myisampack: the real server's packed files read as the
// server returned them, the code trees and bit reader on bytes built here,
// and damaged packed files, whose every fault is told and never read past.

#include <gtest/gtest.h>

#include <set>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "myisam/huffman_trees.h"
#include "myisam/packed_rows.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path PackedFixtureDir() {
    return test::SourceDir() / "tests" / "fixtures" / "packed";
}

const std::vector<std::string> kPackedTables = {"pk_types", "pk_fixed", "pk_few", "pk_spaces"};

test::ExpectedTable LoadPackedExpected(const std::string& name) {
    test::ExpectedTable t;
    t.database = "packed";
    t.name = name;
    const fs::path dir = PackedFixtureDir() / "expected" / "packed";
    for (const auto& row : test::ReadTsv(dir / (name + ".columns.tsv"))) {
        if (row[0] == "COLUMN_NAME") continue;
        t.columnNames.push_back(row[0]);
        t.dataTypes.push_back(row[3]);
        t.charsets.push_back(row[10]);
    }
    auto rows = test::ReadTsv(dir / (name + ".select.tsv"));
    if (!rows.empty()) rows.erase(rows.begin());
    t.rows = std::move(rows);
    return t;
}

struct TableRead {
    OpenRowsResult result = OpenRowsResult::kOk;
    std::vector<test::ReadRow> rows;
    std::vector<DamageFinding> findings;
    size_t windows = 0;
};

TableRead ReadTable(const fs::path& folder, const std::string& name, bool exportMode = false,
                    size_t windowRows = kWindowRows, CAppState* shared = nullptr) {
    const std::unique_ptr<CAppState> owned = shared ? nullptr : test::NewTestApp();
    CAppState* app = shared ? shared : owned.get();
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    options.exportMode = exportMode;
    options.windowRows = windowRows;
    CTableRows table;
    TableRead read;
    read.result = table.Open(folder, Utf8ToUtf16(name), *app, options);
    do {
        EXPECT_LE(table.rows().rowCount(), windowRows);
        test::AppendWindowRows(table.rows(), read.rows);
        ++read.windows;
    } while (table.ReadNextWindow(*app) && read.windows < 100000);
    read.findings = report.Findings();
    return read;
}

std::string Lines(const std::vector<DamageFinding>& findings) {
    std::string text;
    for (const DamageFinding& f : findings) text += DamageLine(f) + "\n";
    return text;
}

void CopyPackedTable(const std::string& name, const fs::path& folder) {
    for (const char* extension : {"frm", "MYD", "MYI"})
        fs::copy_file(PackedFixtureDir() / "datadir" / "packed" / (name + "." + extension),
                      folder / (name + "." + extension));
}

TEST(PackedRowsTest, EveryPackedTableReadsAsTheServerReturnedIt) {
    struct Table {
        fs::path folder;
        test::ExpectedTable expected;
    };
    std::vector<Table> tables;
    for (const std::string& name : kPackedTables)
        tables.push_back({PackedFixtureDir() / "datadir" / "packed", LoadPackedExpected(name)});
    tables.push_back(
        {test::FixtureDataDir() / "paging", test::LoadExpectedTable("paging", "my_packed")});
    for (const Table& t : tables) {
        ASSERT_FALSE(t.expected.rows.empty()) << t.expected.name;
        for (bool exportMode : {false, true}) {
            // Small windows as well: every window after the first starts at
            // a bookmark in the middle of the records.
            for (size_t windowRows : {kWindowRows, size_t{37}}) {
                SCOPED_TRACE(t.expected.name + (exportMode ? " (export)" : "") + " windows of " +
                             std::to_string(windowRows));
                const TableRead read = ReadTable(t.folder, t.expected.name, exportMode, windowRows);
                EXPECT_EQ(read.result, OpenRowsResult::kOk);
                EXPECT_TRUE(read.findings.empty()) << Lines(read.findings);
                for (const std::string& p : test::CompareRows(t.expected, read.rows, exportMode))
                    ADD_FAILURE() << p;
            }
        }
    }
}

TEST(PackedRowsTest, PackedTableWithoutItsIndexFileIsKnownByItsDataFile) {
    // The layout comes from the definition; the data file says it is packed.
    for (const std::string& name : kPackedTables) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        CopyPackedTable(name, dir.path());
        fs::remove(dir.path() / (name + ".MYI"));
        const TableRead read = ReadTable(dir.path(), name);
        ASSERT_EQ(read.findings.size(), 1u) << Lines(read.findings);
        EXPECT_EQ(read.findings[0].why, "index file missing; rows read from the data file alone");
        for (const std::string& p : test::CompareRows(LoadPackedExpected(name), read.rows, false))
            ADD_FAILURE() << p;
    }
}

// Bits written most significant first, as the packed layout keeps them.
class BitWriter {
  public:
    void Put(uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
            ++bits_;
        }
    }
    void Align() { bits_ = (bits_ + 7) / 8 * 8; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

// A byte tree of leaves: a chain whose k-th leaf has the code of k ones and
// a zero (the last, all ones), so codes run from 1 bit to leaves - 1 bits.
void PutChainTree(BitWriter& w, const std::vector<uint8_t>& leaves) {
    const uint32_t n = static_cast<uint32_t>(leaves.size());
    w.Put(0, 1);  // byte codes
    w.Put(0, 8);  // lowest byte value
    w.Put(n, 9);
    w.Put(8, 5);  // bits of a value
    w.Put(2, 5);  // bits of a link
    for (uint32_t k = 0; k + 1 < n; ++k) {
        w.Put(0, 1);
        w.Put(leaves[k], 8);
        if (k + 2 < n) {
            w.Put(1, 1);
            w.Put(1, 2);  // the next pair starts right after this entry
        } else {
            w.Put(0, 1);
            w.Put(leaves[k + 1], 8);
        }
    }
    w.Align();
}

TEST(HuffmanTreeTest, CodesOfEveryLengthDecodeInsideAndPastTheQuickTable) {
    std::vector<uint8_t> leaves;
    for (uint8_t i = 0; i < 14; ++i) leaves.push_back(static_cast<uint8_t>('a' + i));
    BitWriter w;
    PutChainTree(w, leaves);
    CHuffmanTree tree;
    std::string why;
    {
        CBitReader bits(w.bytes());
        ASSERT_TRUE(tree.Read(bits, w.bytes(), why)) << why;
        EXPECT_EQ(bits.Consumed(), w.bytes().size() * 8);
    }
    // Every leaf, the longest codes (13 bits) well past the table's 10.
    BitWriter codes;
    for (size_t k = 0; k < leaves.size(); ++k) {
        codes.Put((1u << k) - 1, static_cast<unsigned>(k));
        if (k + 1 < leaves.size()) codes.Put(0, 1);
    }
    CBitReader bits(codes.bytes());
    for (uint8_t want : leaves) {
        uint32_t value = 0;
        ASSERT_TRUE(tree.Decode(bits, value));
        EXPECT_EQ(value, want);
    }
    EXPECT_FALSE(bits.Overrun());
    // Past the end the codes read zeros, and the reader says so.
    uint32_t value = 0;
    for (int i = 0; i < 20; ++i) tree.Decode(bits, value);
    EXPECT_TRUE(bits.Overrun());
}

TEST(HuffmanTreeTest, DamagedTreesAreRefused) {
    struct Case {
        const char* what;
        std::function<void(BitWriter&)> write;
        const char* why;
    };
    const Case cases[] = {
        {"more leaves than bytes",
         [](BitWriter& w) {
             w.Put(0, 1);
             w.Put(0, 8);
             w.Put(300, 9);
             w.Put(8, 5);
             w.Put(4, 5);
         },
         "decode tree has more codes than there are bytes"},
        {"link of zero",
         [](BitWriter& w) {
             w.Put(0, 1), w.Put(0, 8), w.Put(3, 9), w.Put(8, 5), w.Put(4, 5);
             w.Put(1, 1), w.Put(0, 4);
         },
         "decode tree link points outside the tree"},
        {"link past the last pair",
         [](BitWriter& w) {
             w.Put(0, 1), w.Put(0, 8), w.Put(3, 9), w.Put(8, 5), w.Put(4, 5);
             w.Put(0, 1), w.Put('a', 8);
             w.Put(1, 1), w.Put(2, 4);  // a pair at 3 would end at 4, past the 4 entries
         },
         "decode tree link points outside the tree"},
        {"cut short",
         [](BitWriter& w) {
             w.Put(0, 1), w.Put(0, 8), w.Put(200, 9), w.Put(8, 5), w.Put(4, 5);
             w.Put(0, 1), w.Put('a', 8);
         },
         "decode tree runs past the end of the header"},
        {"values past the header",
         [](BitWriter& w) {
             w.Put(1, 1), w.Put(2, 15), w.Put(500, 16), w.Put(1, 5), w.Put(1, 5);
             w.Put(0, 1), w.Put(0, 1), w.Put(0, 1), w.Put(1, 1);
         },
         "distinct values run past the end of the header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitWriter w;
        c.write(w);
        CBitReader bits(w.bytes());
        CHuffmanTree tree;
        std::string why;
        EXPECT_FALSE(tree.Read(bits, w.bytes(), why));
        EXPECT_EQ(why, c.why);
    }
}

// Reads pk_types after changing its data file's bytes; the damage is told,
// as one of the reasons the packed reader gives, and no row is made up.
const std::set<std::string> kPackedReasons = {
    "data file does not start like a packed one",
    "packed header is shorter than its fixed part",
    "packed header runs past the end of the file",
    "index file lists fewer fields than the packed header describes",
    "packed header has more decode trees than the table has fields",
    "packed field of unknown kind",
    "packed field names a decode tree that is not there",
    "packed BLOB field has no room for its length",
    "packed VARCHAR field has no room for its length",
    "decode tree has more codes than there are bytes",
    "decode tree link points outside the tree",
    "decode tree runs past the end of the header",
    "distinct values run past the end of the header",
    "constant field's value is shorter than the field",
    "blob length is longer than the record can hold",
    "record's codes run past its end",
    "field's decode tree holds no codes",
    "count of cut spaces is longer than the field",
    "field's zero tail is longer than the field",
    "code points past the column's distinct values",
    "blob runs past the record's blob length",
    "value is longer than its VARCHAR column",
    "record is longer than its codes",
    "record head runs past the end of the file",
    "record is longer than the longest packed record",
    "record runs past the end of the file",
};

bool KnownReason(const std::string& why) {
    if (why.starts_with("data file is shorter than the index file says")) return true;
    const std::string reason = why.substr(0, why.find(';'));
    return kPackedReasons.contains(reason);
}

TableRead ReadDamaged(const std::string& name,
                      const std::function<void(std::vector<uint8_t>&)>& f) {
    test::TempDir dir;
    CopyPackedTable(name, dir.path());
    const fs::path myd = dir.path() / (name + ".MYD");
    std::vector<uint8_t> bytes = test::ReadFileBytes(myd);
    f(bytes);
    test::WriteFile(myd, bytes);
    return ReadTable(dir.path(), name);
}

TEST(PackedRowsTest, DamagedHeadersAreToldAndGiveNoRows) {
    const uint32_t fieldBits = 5 + 6 + 5 + 2;  // pk_fixed: 3 trees, 2 bits for one
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* why;
    };
    const auto setBits = [](std::vector<uint8_t>& b, size_t bit, uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            const size_t at = 32 * 8 + bit + i;
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (at % 8));
            if ((value >> (n - 1 - i)) & 1)
                b.at(at / 8) |= mask;
            else
                b.at(at / 8) &= static_cast<uint8_t>(~mask);
        }
    };
    const Case cases[] = {
        {"magic", [](std::vector<uint8_t>& b) { b[2] = 0x07; },
         "data file does not start like a packed one"},
        {"header longer than the file",
         [](std::vector<uint8_t>& b) { b[4] = 0xFF, b[5] = 0xFF, b[6] = 0xFF; },
         "packed header runs past the end of the file"},
        {"trees cut off", [](std::vector<uint8_t>& b) { b[4] = 44, b[5] = 0, b[6] = 0, b[7] = 0; },
         "decode tree runs past the end of the header"},
        {"header shorter than its fixed part", [](std::vector<uint8_t>& b) { b[4] = 8, b[5] = 0; },
         "packed header is shorter than its fixed part"},
        {"more trees than fields", [](std::vector<uint8_t>& b) { b[24] = 200; },
         "packed header has more decode trees than the table has fields"},
        {"unknown kind", [&](std::vector<uint8_t>& b) { setBits(b, 0, 31, 5); },
         "packed field of unknown kind"},
        {"tree that is not there", [&](std::vector<uint8_t>& b) { setBits(b, 16, 3, 2); },
         "packed field names a decode tree that is not there"},
        {"BLOB kind on a small field",
         [&](std::vector<uint8_t>& b) { setBits(b, fieldBits, 4, 5); },
         "packed BLOB field has no room for its length"},
        {"file of the header alone cut in the trees", [](std::vector<uint8_t>& b) { b.resize(60); },
         "packed header runs past the end of the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TableRead read = ReadDamaged("pk_fixed", c.damage);
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        EXPECT_TRUE(read.rows.empty());
        ASSERT_FALSE(read.findings.empty());
        const DamageFinding& f = read.findings.back();
        EXPECT_EQ(f.why, c.why) << Lines(read.findings);
        EXPECT_EQ(f.what, DamageWhat::kFile);
        EXPECT_EQ(f.rowsLost, 700);
        EXPECT_FALSE(f.rowsStillRead);
    }
}

// Where the records of a packed data file start and how long each is.
std::vector<std::pair<uint64_t, uint64_t>> Records(const std::vector<uint8_t>& myd, bool blobs) {
    std::vector<std::pair<uint64_t, uint64_t>> records;
    CPackedLayout layout;
    layout.version = myd[3];
    layout.hasBlobs = blobs;
    uint64_t pos = LoadU32le(myd, 4);
    while (pos < myd.size()) {
        CPackedRecordHead head;
        if (!ReadPackedRecordHead(ByteSpan(myd).subspan(pos), layout, head)) break;
        records.emplace_back(pos, head.headLength + head.recordLength);
        pos += head.headLength + head.recordLength;
    }
    return records;
}

TEST(PackedRowsTest, DamagedRecordsLoseOnlyThemselves) {
    struct Case {
        const char* table;
        bool blobs;
        const char* what;
        // Damages the record at pos of the data file.
        std::function<void(std::vector<uint8_t>&, uint64_t pos, uint64_t length)> damage;
        const char* whyStart;
        int64_t rowsLost;
    };
    const Case cases[] = {
        {"pk_fixed", false, "length past the longest record",
         [](std::vector<uint8_t>& b, uint64_t pos, uint64_t) { b[pos] = 200; },
         "record is longer than the longest packed record", 1},
        {"pk_types", true, "blob length shorter than the record's blobs",
         [](std::vector<uint8_t>& b, uint64_t pos, uint64_t) {
             // The blob length after the record length, made 0 in its
             // width.
             const size_t width = b[pos] < 254 ? 1 : b[pos] == 254 ? 3 : 5;
             const size_t at = pos + width;
             const size_t blobWidth = b[at] < 254 ? 1 : b[at] == 254 ? 3 : 5;
             for (size_t i = 0; i < blobWidth; ++i) b[at + i] = 0;
             if (blobWidth > 1) b[at] = 254;
         },
         "blob runs past the record's blob length", 1},
        {"pk_few", false, "record a byte too long",
         [](std::vector<uint8_t>& b, uint64_t pos, uint64_t) {
             // The next record's head byte becomes the record's last byte:
             // the record no longer decodes to its length, and the one after
             // it starts at the wrong byte.
             b[pos] = static_cast<uint8_t>(b[pos] + 1);
         },
         "record is longer than its codes", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + ": " + c.what);
        const test::ExpectedTable expected = LoadPackedExpected(c.table);
        const TableRead intact = ReadTable(PackedFixtureDir() / "datadir" / "packed", c.table);
        ASSERT_TRUE(intact.findings.empty());
        std::vector<std::pair<uint64_t, uint64_t>> records;
        const TableRead read = ReadDamaged(c.table, [&](std::vector<uint8_t>& b) {
            records = Records(b, c.blobs);
            ASSERT_GT(records.size(), 10u);
            const auto [pos, length] = records[records.size() / 2];
            c.damage(b, pos, length);
        });
        ASSERT_FALSE(read.findings.empty());
        EXPECT_LE(read.findings.size(), 3u) << Lines(read.findings);
        for (const DamageFinding& f : read.findings) {
            EXPECT_TRUE(KnownReason(f.why)) << DamageLine(f);
            EXPECT_EQ(f.what, DamageWhat::kRecord);
        }
        EXPECT_EQ(read.findings[0].offset, static_cast<int64_t>(records[records.size() / 2].first));
        EXPECT_TRUE(read.findings[0].why.starts_with(c.whyStart)) << Lines(read.findings);
        // The rows before the damage and, after a few, the rows after it.
        const size_t middle = records.size() / 2;
        ASSERT_GE(read.rows.size(), middle);
        for (size_t i = 0; i < middle; ++i) EXPECT_EQ(read.rows[i].texts, intact.rows[i].texts);
        EXPECT_EQ(static_cast<int64_t>(intact.rows.size() - read.rows.size()), c.rowsLost);
        EXPECT_EQ(static_cast<int64_t>(expected.rows.size()),
                  static_cast<int64_t>(intact.rows.size()));
        EXPECT_EQ(read.rows.back().texts, intact.rows.back().texts);
    }
}

TEST(PackedRowsTest, DamagedBytesAnywhereAreReadSafely) {
    // Bytes of pk_few's data file, all through its header and a stretch of
    // its records, set to other values one at a time: the read never fails,
    // never gives more rows than there are, and tells every finding in the
    // reader's own words, a bounded number of them.
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    test::TempDir dir;
    CopyPackedTable("pk_few", dir.path());
    const fs::path myd = dir.path() / "pk_few.MYD";
    const std::vector<uint8_t> original = test::ReadFileBytes(myd);
    const size_t headerLength = LoadU32le(original, 4);
    ASSERT_LT(headerLength + 64, original.size());
    for (size_t at = 0; at < headerLength + 64; at += at < 64 ? 1 : 23) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t(original[at] ^ 0x24)}) {
            if (value == original[at]) continue;
            std::vector<uint8_t> bytes = original;
            bytes[at] = value;
            test::WriteFile(myd, bytes);
            const TableRead read = ReadTable(dir.path(), "pk_few", false, kWindowRows, app.get());
            ASSERT_EQ(read.result, OpenRowsResult::kOk) << at;
            EXPECT_LE(read.rows.size(), 500u) << at;
            EXPECT_LE(read.findings.size(), 520u) << at;
            for (const DamageFinding& f : read.findings)
                ASSERT_TRUE(KnownReason(f.why)) << at << ": " << DamageLine(f);
        }
    }
}

}  // namespace
}  // namespace brix
