// MyISAM tables of the fixture data directory, copied and damaged byte by
// byte: what the damage report says, and that the rows outside the damage
// come back exactly. Also every table read without a usable index file.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "myisam/block_header.h"
#include "myisam/myisam_header.h"
#include "schema/frm_reader.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

struct TableRead {
    OpenRowsResult result = OpenRowsResult::kOk;
    std::vector<test::ReadRow> rows;
    std::vector<DamageFinding> findings;
};

TableRead ReadTable(const fs::path& folder, const std::string& name) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    CTableRows table;
    TableRead read;
    read.result = table.Open(folder, Utf8ToUtf16(name), *app, options);
    do {
        test::AppendWindowRows(table.rows(), read.rows);
    } while (table.ReadNextWindow(*app));
    read.findings = report.Findings();
    return read;
}

std::string Lines(const std::vector<DamageFinding>& findings) {
    std::string text;
    for (const DamageFinding& f : findings) text += DamageLine(f) + "\n";
    return text;
}

fs::path FixtureFile(const std::string& database, const std::string& name,
                     const std::string& extension) {
    return test::FixtureDataDir() / database / (name + "." + extension);
}

// Copies the table's .frm and .MYD, and its .MYI when asked, into folder.
void CopyTable(const std::string& database, const std::string& name, const fs::path& folder,
               bool withIndex = true) {
    for (const char* extension : {"frm", "MYD", "MYI"}) {
        if (!withIndex && std::string(extension) == "MYI") continue;
        fs::copy_file(FixtureFile(database, name, extension), folder / (name + "." + extension));
    }
}

// How many rows of want are missing from got, when got is want with some
// rows left out and nothing else changed; -1 when it is not.
int64_t RowsLeftOut(const std::vector<test::ReadRow>& want, const std::vector<test::ReadRow>& got) {
    size_t w = 0;
    for (const test::ReadRow& row : got) {
        while (w < want.size() && (want[w].texts != row.texts || want[w].nulls != row.nulls)) ++w;
        if (w == want.size()) return -1;
        ++w;
    }
    return static_cast<int64_t>(want.size() - got.size());
}

// The blocks of a dynamic data file: position and header.
std::vector<std::pair<uint64_t, MyisamBlockInfo>> Blocks(const std::vector<uint8_t>& myd) {
    std::vector<std::pair<uint64_t, MyisamBlockInfo>> blocks;
    uint64_t pos = 0;
    while (pos < myd.size()) {
        MyisamBlockInfo info;
        const ByteSpan rest = ByteSpan(myd).subspan(pos);
        const int status =
            DecodeBlockHeader(rest.first(std::min(rest.size(), kBlockHeaderSize)), pos, info);
        const uint64_t next = info.dataPos + info.blockLen;
        if ((status & BlockStatus::kInvalid) || next <= pos) break;
        blocks.emplace_back(pos, info);
        pos = next;
    }
    return blocks;
}

void PutU64be(std::vector<uint8_t>& bytes, size_t at, uint64_t v) {
    for (int i = 7; i >= 0; --i, v >>= 8) bytes.at(at + static_cast<size_t>(i)) = v & 0xFF;
}

bool IsCompressed(const test::ExpectedTable& t) {
    return t.rowFormat == "Compressed";
}

// The one fixture table whose record layout the .frm does not give: the
// server packs its YEAR column (after TIMESTAMPs of the MariaDB 5.3
// encoding) as a plain field, where the same column of every other table is
// a zero-skipped one. Its rows need the index file.
bool LayoutNotFromDefinition(const test::ExpectedTable& t) {
    return t.database == "types" && t.name == "old_temporal_dyn";
}

TEST(MyIsamDamageTest, RecordLayoutFromTheDefinitionIsTheIndexFilesOwn) {
    size_t tables = 0;
    for (const test::ExpectedTable& t : test::FixtureTables()) {
        if (t.engine != "MyISAM" || IsCompressed(t) || LayoutNotFromDefinition(t)) continue;
        SCOPED_TRACE(t.database + "." + t.name);
        ++tables;
        CTableDef table;
        ASSERT_TRUE(
            ReadTableDefinition(table, FixtureFile(t.database, t.name, "frm"), test::TestApp()));
        CMyisamHeader fromIndex;
        std::string unusable;
        ASSERT_TRUE(
            ReadMyisamHeader(table, fromIndex, FixtureFile(t.database, t.name, "MYI"), &unusable));
        EXPECT_EQ(unusable, "");
        EXPECT_EQ(fromIndex.records, static_cast<int64_t>(t.rows.size()));
        CMyisamHeader fromDefinition;
        MyisamHeaderFromDefinition(table, fromDefinition);
        EXPECT_EQ(fromDefinition.myisamRowFormat, fromIndex.myisamRowFormat);
        EXPECT_EQ(fromDefinition.packBits, fromIndex.packBits);
        EXPECT_EQ(fromDefinition.minPackLength, fromIndex.minPackLength);
        EXPECT_EQ(fromDefinition.records, -1);
        ASSERT_EQ(fromDefinition.myisamColumns.size(), fromIndex.myisamColumns.size());
        for (size_t i = 0; i < fromIndex.myisamColumns.size(); ++i) {
            const CMyisamColumnDef& a = fromDefinition.myisamColumns[i];
            const CMyisamColumnDef& b = fromIndex.myisamColumns[i];
            int type = -1;  // of the column at the entry, for the messages
            for (const CColumnDef& c : table.columns)
                if (c.recordPos == static_cast<int32_t>(b.offset) + 1) type = c.type;
            SCOPED_TRACE("field " + std::to_string(i) + " of type " + std::to_string(type));
            EXPECT_EQ(a.myisamType, b.myisamType);
            EXPECT_EQ(a.myisamLength, b.myisamLength);
            EXPECT_EQ(a.nullBit, b.nullBit);
            EXPECT_EQ(a.nullPos, b.nullPos);
            EXPECT_EQ(a.offset, b.offset);
        }
    }
    EXPECT_GT(tables, 30u);
}

TEST(MyIsamDamageTest, IntactTablesTellNothingButWhatIsNotRead) {
    for (const test::ExpectedTable& t : test::FixtureTables()) {
        SCOPED_TRACE(t.database + "." + t.name);
        // Every definition of the fixture, whatever its engine, is whole.
        CDamageReport frmReport;
        CTableDef table;
        ReadTableDefinition(table, FixtureFile(t.database, t.name, "frm"), test::TestApp(),
                            &frmReport);
        EXPECT_TRUE(frmReport.Empty()) << Lines(frmReport.Findings());
        if (t.engine != "MyISAM") continue;
        const TableRead read = ReadTable(test::FixtureDataDir() / t.database, t.name);
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        // Packed tables too: their rows are read like any others.
        EXPECT_TRUE(read.findings.empty()) << Lines(read.findings);
        EXPECT_EQ(read.rows.size(), t.rows.size());
    }
}

TEST(MyIsamDamageTest, EveryTableReadsFromItsDataFileWhenItsIndexFileIsUnusable) {
    struct Case {
        const char* what;
        // Leaves the index file at path as the case has it.
        std::function<void(const fs::path&)> damage;
        const char* why;
    };
    const Case cases[] = {
        {"missing", [](const fs::path& p) { fs::remove(p); },
         "index file missing; rows read from the data file alone"},
        {"empty", [](const fs::path& p) { test::WriteFile(p, {}); },
         "index file unusable: empty; rows read from the data file alone"},
        {"cut", [](const fs::path& p) { fs::resize_file(p, 40); },
         "index file unusable: cut short; rows read from the data file alone"},
        {"not an index file",
         [](const fs::path& p) {
             std::vector<uint8_t> bytes = test::ReadFileBytes(p);
             bytes[0] = 'X';
             test::WriteFile(p, bytes);
         },
         "index file unusable: not a MyISAM index file; rows read from the data file alone"},
    };
    size_t tables = 0;
    for (const test::ExpectedTable& t : test::FixtureTables()) {
        if (t.engine != "MyISAM" || IsCompressed(t) || LayoutNotFromDefinition(t)) continue;
        ++tables;
        for (const Case& c : cases) {
            SCOPED_TRACE(t.database + "." + t.name + ": " + c.what);
            test::TempDir dir;
            CopyTable(t.database, t.name, dir.path());
            c.damage(dir.path() / (t.name + ".MYI"));
            const TableRead read = ReadTable(dir.path(), t.name);
            EXPECT_EQ(read.result, OpenRowsResult::kOk);
            for (const std::string& p : test::CompareRows(t, read.rows, false)) ADD_FAILURE() << p;
            ASSERT_EQ(read.findings.size(), 1u) << Lines(read.findings);
            const DamageFinding& f = read.findings[0];
            EXPECT_EQ(f.what, DamageWhat::kFile);
            EXPECT_EQ(f.why, c.why);
            EXPECT_TRUE(f.rowsStillRead);
            EXPECT_EQ(fs::path(f.file).filename(), t.name + ".MYI");
        }
    }
    EXPECT_GT(tables, 30u);
}

// One damage done to a copy of a fixture table's data file, and what the
// read must then say.
struct DataDamage {
    const char* what;
    // Damages the data file's bytes; returns the offset the finding names.
    std::function<int64_t(std::vector<uint8_t>&)> damage;
    DamageWhat findingWhat;
    const char* whyStart;
    int64_t rowsLeftOut;
    bool rowsStillRead = false;
};

void CheckDataDamage(const std::string& database, const std::string& name, const DataDamage& c) {
    SCOPED_TRACE(database + "." + name + ": " + c.what);
    const TableRead intact = ReadTable(test::FixtureDataDir() / database, name);
    ASSERT_TRUE(intact.findings.empty());
    test::TempDir dir;
    CopyTable(database, name, dir.path());
    const fs::path myd = dir.path() / (name + ".MYD");
    std::vector<uint8_t> bytes = test::ReadFileBytes(myd);
    const size_t originalSize = bytes.size();
    const int64_t offset = c.damage(bytes);
    test::WriteFile(myd, bytes);
    const TableRead read = ReadTable(dir.path(), name);
    EXPECT_EQ(read.result, OpenRowsResult::kOk);
    std::vector<DamageFinding> findings = read.findings;
    // A file cut short is told as such first, from the length the index
    // file gives it.
    if (bytes.size() < originalSize) {
        ASSERT_FALSE(findings.empty());
        EXPECT_EQ(findings[0].what, DamageWhat::kFile);
        EXPECT_EQ(findings[0].why,
                  "data file is shorter than the index file says: " + std::to_string(bytes.size()) +
                      " of " + std::to_string(originalSize) + " bytes");
        findings.erase(findings.begin());
    }
    ASSERT_EQ(findings.size(), 1u) << Lines(read.findings);
    const DamageFinding& f = findings[0];
    EXPECT_EQ(f.what, c.findingWhat) << DamageLine(f);
    EXPECT_TRUE(f.why.starts_with(c.whyStart)) << DamageLine(f);
    EXPECT_EQ(f.offset, offset) << DamageLine(f);
    EXPECT_EQ(f.rowsStillRead, c.rowsStillRead);
    EXPECT_EQ(fs::path(f.file).filename(), name + ".MYD");
    if (c.rowsStillRead) {
        // The damaged row is still there, read from its damaged bytes.
        ASSERT_EQ(read.rows.size(), intact.rows.size());
        size_t differing = 0;
        for (size_t i = 0; i < read.rows.size(); ++i)
            differing += read.rows[i].texts != intact.rows[i].texts;
        EXPECT_LE(differing, 1u);
    } else {
        EXPECT_EQ(RowsLeftOut(intact.rows, read.rows), c.rowsLeftOut);
    }
}

// The first block at or after the middle of the file that holds a whole
// record, or that starts a record of more than one block.
std::pair<uint64_t, MyisamBlockInfo> MiddleBlock(const std::vector<uint8_t>& myd, bool split) {
    for (const auto& [pos, info] : Blocks(myd)) {
        if (pos < myd.size() / 2) continue;
        const bool whole = info.type >= 1 && info.type <= 4;
        const bool starts = info.type == 5 || info.type == 6 || info.type == 13;
        if (split ? starts : whole) return {pos, info};
    }
    ADD_FAILURE() << "no such block";
    return {0, {}};
}

TEST(MyIsamDamageTest, DamagedDynamicBlocksLoseOnlyTheirOwnRecords) {
    const DataDamage cases[] = {
        {"a block header overwritten",
         [](std::vector<uint8_t>& b) {
             const uint64_t pos = MiddleBlock(b, false).first;
             std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(pos), 4, 0xEE);
             return static_cast<int64_t>(pos);
         },
         DamageWhat::kBlock, "bad block header; ", 1},
        {"a block header zeroed",
         [](std::vector<uint8_t>& b) {
             const uint64_t pos = MiddleBlock(b, false).first;
             std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(pos), 4, 0);
             return static_cast<int64_t>(pos);
         },
         DamageWhat::kBlock, "zero bytes where a block should start; ", 1},
        {"a block longer than the file",
         [](std::vector<uint8_t>& b) {
             const auto [pos, info] = MiddleBlock(b, false);
             // A type 2 header: three bytes of length.
             b[pos] = 2;
             b[pos + 1] = 0x7F;
             return static_cast<int64_t>(pos);
         },
         DamageWhat::kBlock, "block runs past the end of the file; ", 1},
        {"the file cut in its last block",
         [](std::vector<uint8_t>& b) {
             const auto blocks = Blocks(b);
             const uint64_t pos = blocks.back().first;
             b.resize(pos + 6);
             return static_cast<int64_t>(pos);
         },
         DamageWhat::kBlock, "block runs past the end of the file; 6 bytes skipped", 1},
    };
    for (const DataDamage& c : cases) CheckDataDamage("formats", "myisam_dyn_t", c);
}

TEST(MyIsamDamageTest, BrokenChainsLoseOnlyTheirOwnRecords) {
    // A link of the first block of a split record, pointed elsewhere.
    const auto relink = [](std::vector<uint8_t>& b, std::function<uint64_t(uint64_t)> target) {
        const auto [pos, info] = MiddleBlock(b, true);
        PutU64be(b, pos + kBlockLayouts[info.type].next.at, target(pos));
        return static_cast<int64_t>(pos);
    };
    const DataDamage cases[] = {
        {"a chain that loops to its first block",
         [&](std::vector<uint8_t>& b) { return relink(b, [](uint64_t pos) { return pos; }); },
         DamageWhat::kChain, "record chain loops", 1},
        {"a link past the end of the file",
         [&](std::vector<uint8_t>& b) {
             const uint64_t size = b.size();
             return relink(b, [size](uint64_t) { return size + 4096; });
         },
         DamageWhat::kChain, "link points outside the file", 1},
        {"a link to a block that starts a record",
         [&](std::vector<uint8_t>& b) {
             const uint64_t first = Blocks(b).front().first;
             return relink(b, [first](uint64_t) { return first; });
         },
         DamageWhat::kChain, "link points to a block that does not continue it", 1},
    };
    for (const DataDamage& c : cases) CheckDataDamage("paging", "my_churn_dyn", c);
}

TEST(MyIsamDamageTest, DamagedFixedRowsLoseOnlyThemselves) {
    // myisam_fixed_t: the null flags and delete mark (1 byte), id INT, then
    // v VARCHAR(100) utf8mb4 with a one-byte length... up to 400 bytes.
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, FixtureFile("formats", "myisam_fixed_t", "frm"),
                                    test::TestApp()));
    const size_t stride = static_cast<size_t>(table.recordLength);
    const size_t varcharAt = static_cast<size_t>(table.columns.at(1).recordPos - 1);
    ASSERT_EQ(table.columns.at(1).type, FieldType::kVarchar);
    const DataDamage cases[] = {
        {"the last row cut short",
         [&](std::vector<uint8_t>& b) {
             b.resize(b.size() - 3);
             return static_cast<int64_t>(b.size() / stride * stride);
         },
         DamageWhat::kRecord, "last row is cut short", 0, true},
        {"a VARCHAR length longer than its column",
         [&](std::vector<uint8_t>& b) {
             const size_t row = b.size() / stride / 2;
             b.at(row * stride + varcharAt) = 0xFF;
             b.at(row * stride + varcharAt + 1) = 0xFF;
             return static_cast<int64_t>(row * stride);
         },
         DamageWhat::kRecord, "a value's length runs past its column; the value is cut", 1, true},
    };
    for (const DataDamage& c : cases) CheckDataDamage("formats", "myisam_fixed_t", c);
}

TEST(MyIsamDamageTest, AMissingDataFileIsToldAndGivesNoRows) {
    for (const char* name : {"myisam_fixed_t", "myisam_dyn_t"}) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        CopyTable("formats", name, dir.path());
        fs::remove(dir.path() / (std::string(name) + ".MYD"));
        const TableRead read = ReadTable(dir.path(), name);
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        EXPECT_TRUE(read.rows.empty());
        ASSERT_EQ(read.findings.size(), 1u) << Lines(read.findings);
        EXPECT_EQ(read.findings[0].what, DamageWhat::kFile);
        EXPECT_EQ(read.findings[0].why, "data file missing");
        EXPECT_EQ(read.findings[0].rowsLost, 200);  // as the index file counts them
        EXPECT_FALSE(read.findings[0].rowsStillRead);
    }
}

TEST(MyIsamDamageTest, GarbageDataFilesEndWithBoundedFindings) {
    // A data file of nothing but bytes that are no blocks, or blocks of no
    // use: the scan moves on, and tells no more than one finding for each
    // stretch it skips or block it drops.
    for (const int fill : {0x00, 0xEE, 0x05, 0x01}) {
        SCOPED_TRACE(fill);
        test::TempDir dir;
        CopyTable("formats", "myisam_dyn_t", dir.path());
        test::WriteFile(dir.path() / "myisam_dyn_t.MYD",
                        std::vector<uint8_t>(1u << 16, static_cast<uint8_t>(fill)));
        const TableRead read = ReadTable(dir.path(), "myisam_dyn_t");
        EXPECT_EQ(read.result, OpenRowsResult::kOk);
        EXPECT_LE(read.findings.size(), (1u << 16) / kBlockHeaderSize) << Lines(read.findings);
        EXPECT_FALSE(read.findings.empty());
    }
}

}  // namespace
}  // namespace brix
