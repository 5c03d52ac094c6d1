// MyISAM index-file heads and data files built byte by byte: both row
// formats, the window protocol, and damaged files.

#include <gtest/gtest.h>

#include <fstream>

#include "app/file_names.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "myisam/dynamic_rows.h"
#include "myisam/myisam_header.h"
#include "myisam/myisam_reader.h"
#include "support/myisam_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

using test::Bytes_;
using test::MakeColumn;

class MyIsamRowsTest : public ::testing::Test {
  protected:
    // id INT NOT NULL, n INT NULL: one null-flag byte whose bit 0 is the
    // delete mark, so n's flag is bit 1.
    void UseFixedTable(uint32_t packRecLength = 9) {
        NewTable();
        table.columns = {MakeColumn(u"id", FieldType::kLong, 11, 2),
                         MakeColumn(u"n", FieldType::kLong, 11, 6, 1)};
        table.recordLength = 9;
        table.nullBytes = 1;
        WriteMyi(test::BuildMyi(0, {{0, 1}, {0, 4}, {0, 4, 2, 0}}, packRecLength, 9, 0));
    }

    // id INT NOT NULL, name VARCHAR(20) latin1, note CHAR(10) NULL; packed
    // records, so no delete mark: note's null flag is bit 0.
    void UseDynamicTable() {
        NewTable();
        table.columns = {MakeColumn(u"id", FieldType::kLong, 11, 2),
                         MakeColumn(u"name", FieldType::kVarchar, 20, 6),
                         MakeColumn(u"note", FieldType::kString, 10, 27, 0)};
        for (CColumnDef& c : table.columns) c.charsetNumber = 8;
        table.recordLength = 36;
        table.nullBytes = 1;
        table.createOptions = 1;
        WriteMyi(test::BuildMyi(1, {{0, 1}, {3, 4}, {8, 21}, {1, 10, 1, 0}}, 36, 3, 1));
    }

    void WriteMyi(const std::vector<uint8_t>& myi) {
        test::WriteFile(dir.path() / "t.MYI", myi);
        ASSERT_TRUE(ReadMyisamHeader(table, myisam.header, dir.path() / "t.MYI"));
    }

    static std::vector<uint8_t> FixedRow(int32_t id, std::optional<int32_t> n, bool live = true) {
        Bytes_ b;
        b.u8((live ? 1 : 0) | (n ? 0 : 2)).u32le(static_cast<uint32_t>(id)).u32le(n ? *n : 0);
        return b.bytes;
    }

    // The packed record of (id, name, note).
    static std::vector<uint8_t> PackedRecord(int32_t id, const std::string& name,
                                             std::optional<std::string> note) {
        Bytes_ b;
        b.u8((id == 0 ? 1 : 0) | 2).u8(note ? 0 : 1);
        if (id != 0) b.u32le(static_cast<uint32_t>(id));
        b.u8(static_cast<uint32_t>(name.size())).text(name);
        const std::string stored = note.value_or("");
        b.u8(static_cast<uint32_t>(stored.size())).text(stored);
        return b.bytes;
    }

    // Reads the data file window by window; every window's rows as texts.
    std::vector<std::vector<std::string>> ReadWindows(const std::vector<uint8_t>& myd) {
        test::WriteFile(dir.path() / "t.MYD", myd);
        std::vector<std::vector<std::string>> windows;
        EXPECT_TRUE(ReadFirstMyIsamWindow(myisam, dir.path() / "t.MYD", test::TestApp()));
        for (int guard = 0; guard < 100; ++guard) {
            std::vector<std::string> rows;
            for (size_t r = 0; r < window.rows.rowCount(); ++r) {
                std::string row;
                for (size_t c = 0; c < window.rows.columnCount(); ++c)
                    row += (c ? "|" : "") + Utf16ToUtf8(window.rows.Text(r, c));
                rows.push_back(row);
            }
            windows.push_back(rows);
            if (!window.windowFull) break;
            ReadMyIsamWindowAt(myisam, window.bookmarks.back().origin, true, test::TestApp());
        }
        return windows;
    }

    std::vector<std::string> ReadRows(const std::vector<uint8_t>& myd) {
        std::vector<std::string> all;
        for (const auto& w : ReadWindows(myd)) all.insert(all.end(), w.begin(), w.end());
        return all;
    }

    // A table of its own for the next case: definition, window and reader
    // state all empty.
    void NewTable() {
        table = CTableDef();
        window = CWindowState();
        myisam.header = CMyisamHeader();
        myisam.dataFile.Close();
    }

    test::TempDir dir;
    CTableDef table;
    CWindowState window;
    CMyisamTableReader myisam{table, window};
};

TEST_F(MyIsamRowsTest, IndexHeadGivesRowFormatLayoutAndEntriesAfterKeys) {
    table.columns.resize(5);
    for (uint16_t options : {0x0000, 0x0001, 0x0004, 0x0005}) {
        test::WriteFile(dir.path() / "t.MYI",
                        test::BuildMyi(options, {{0, 1}, {3, 4, 2, 0}}, 40, 7, 2, {3, 3}, {1}));
        ASSERT_TRUE(ReadMyisamHeader(table, myisam.header, dir.path() / "t.MYI"));
        EXPECT_EQ(myisam.header.myisamRowFormat, options & 4 ? 2 : options & 1 ? 1 : 0) << options;
    }
    EXPECT_EQ(myisam.header.packRecLength, 40u);
    EXPECT_EQ(myisam.header.minPackLength, 7u);
    EXPECT_EQ(myisam.header.packBits, 2);
    ASSERT_EQ(myisam.header.myisamColumns.size(), 2u);
    EXPECT_EQ(myisam.header.myisamColumns[1].myisamType, 3);
    EXPECT_EQ(myisam.header.myisamColumns[1].myisamLength, 4);
    EXPECT_EQ(myisam.header.myisamColumns[1].nullBit, 2);
    EXPECT_EQ(myisam.header.myisamColumns[1].offset, 1u);
}

TEST_F(MyIsamRowsTest, IndexHeadBoundsItsEntriesAndSurvivesShortFiles) {
    table.columns.resize(2);
    std::vector<test::MyiEntry> many(1000, {0, 4});
    const std::vector<uint8_t> myi = test::BuildMyi(0, many, 9, 9, 0);
    test::WriteFile(dir.path() / "t.MYI", myi);
    ASSERT_TRUE(ReadMyisamHeader(table, myisam.header, dir.path() / "t.MYI"));
    EXPECT_EQ(myisam.header.myisamColumns.size(), 3u);  // the columns and the null flags

    for (size_t cut : {size_t{10}, size_t{24}, size_t{25}, size_t{70}, size_t{170}, size_t{166}}) {
        test::WriteFile(dir.path() / "t.MYI", std::vector<uint8_t>(myi.begin(), myi.begin() + cut));
        myisam.header.myisamColumns.clear();
        EXPECT_EQ(ReadMyisamHeader(table, myisam.header, dir.path() / "t.MYI"), cut > 24) << cut;
        EXPECT_LE(myisam.header.myisamColumns.size(), 3u);
    }
    EXPECT_FALSE(ReadMyisamHeader(table, myisam.header, dir.path() / "missing.MYI"));
}

TEST_F(MyIsamRowsTest, FixedRowsWithNullsDeletedSlotsAndACutLastRow) {
    UseFixedTable();
    Bytes_ myd;
    myd.raw(FixedRow(1, 10)).raw(FixedRow(2, std::nullopt)).raw(FixedRow(99, 99, false));
    myd.raw(FixedRow(3, 0x01020304));
    myd.bytes.resize(myd.bytes.size() - 2);  // the last row loses its top bytes
    EXPECT_EQ(ReadRows(myd.bytes), (std::vector<std::string>{"1|10", "2|NULL", "3|772"}));

    // Without a delete mark (packed-record tables) every slot is a row.
    table.createOptions = 1;
    EXPECT_EQ(ReadRows(FixedRow(5, 6, false)).size(), 1u);
}

TEST_F(MyIsamRowsTest, FixedRowStrideFollowsThePackedRecordLength) {
    Bytes_ wide;
    for (int i = 1; i <= 3; ++i) wide.raw(FixedRow(i, i)).u8(0xEE);  // 10-byte slots
    UseFixedTable(10);
    EXPECT_EQ(ReadRows(wide.bytes), (std::vector<std::string>{"1|1", "2|2", "3|3"}));
    UseFixedTable(1000);  // not below the file length: the .frm's length holds
    Bytes_ narrow;
    for (int i = 1; i <= 3; ++i) narrow.raw(FixedRow(i, i));
    EXPECT_EQ(ReadRows(narrow.bytes), (std::vector<std::string>{"1|1", "2|2", "3|3"}));
    UseFixedTable(0);  // no usable length: one row, and the window ends
    EXPECT_EQ(ReadRows(narrow.bytes).size(), 1u);
    table.recordLength = 0;
    EXPECT_EQ(ReadRows(narrow.bytes).size(), 1u);
}

TEST_F(MyIsamRowsTest, FixedRowsComeInWindowsOfAThousandWithBookmarks) {
    UseFixedTable();
    Bytes_ myd;
    for (int i = 1; i <= 2500; ++i) myd.raw(FixedRow(i, i));
    auto windows = ReadWindows(myd.bytes);
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0].size(), 1000u);
    EXPECT_EQ(windows[1].front(), "1001|1001");
    EXPECT_EQ(windows[2].size(), 500u);
    ASSERT_EQ(window.bookmarks.size(), 3u);
    EXPECT_EQ(window.bookmarks[0].origin, 0);
    EXPECT_EQ(window.bookmarks[1].origin, 9000);
    EXPECT_EQ(window.bookmarks[2].origin, 18000);

    UseFixedTable();
    Bytes_ exact;
    for (int i = 1; i <= 1000; ++i) exact.raw(FixedRow(i, i));
    windows = ReadWindows(exact.bytes);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(window.bookmarks.back().origin, 9000);  // the file's length
    EXPECT_TRUE(windows[1].empty());
}

TEST_F(MyIsamRowsTest, FixedRowsHonourVarcharLengthsYearsAndBitsAmongTheNullFlags) {
    // flags byte: bit 0 delete mark, bit 1 y's null flag, bits 2-5 the top
    // bits of b BIT(12); then v VARCHAR(5) (1 + 5 bytes), y YEAR, b's low byte.
    NewTable();
    table.columns = {MakeColumn(u"v", FieldType::kVarchar, 5, 2),
                     MakeColumn(u"y", FieldType::kYear, 4, 8, 1),
                     MakeColumn(u"b", FieldType::kBit, 12, 9)};
    table.columns[0].charsetNumber = 8;
    table.columns[2].extraBitsAt = 2;
    table.recordLength = 9;
    table.nullBytes = 1;
    WriteMyi(test::BuildMyi(0, {{0, 1}, {0, 6}, {0, 1, 2, 0}, {0, 1}}, 9, 9, 0));
    Bytes_ myd;
    myd.u8(1 | (0xA << 2)).u8(2).text("abXYZ").u8(0x7C).u8(0xAA);
    myd.u8(1 | 2).u8(0).zeros(5).u8(0).u8(0);
    myd.u8(1).u8(9).text("hello").u8(0).u8(1);  // a length beyond the column: cut to 5
    EXPECT_EQ(ReadRows(myd.bytes),
              (std::vector<std::string>{"ab|2024|101010101010", "|NULL|000000000000",
                                        "hello|0000|000000000001"}));
}

TEST_F(MyIsamRowsTest, DynamicRecordsInEveryBlockShape) {
    UseDynamicTable();
    const auto r1 = PackedRecord(1, "ab", std::string("xy"));
    const auto r2 = PackedRecord(0, "", std::nullopt);
    const auto r3 = PackedRecord(3, "split", std::string("z"));
    const auto r4 = PackedRecord(4, "thirteen", std::string("q"));
    Bytes_ myd;
    myd.raw(test::Block1(r1));
    myd.raw(test::DeletedBlock(20));
    myd.raw(test::Block3(r2, 3));
    // r3: its first half here, the rest in a type 7 block at the end.
    const size_t r3At = myd.bytes.size();
    const size_t half = r3.size() / 2;
    const std::vector<uint8_t> head(r3.begin(), r3.begin() + static_cast<long>(half));
    const std::vector<uint8_t> tail(r3.begin() + static_cast<long>(half), r3.end());
    const size_t r4At = r3At + test::Block5(0, head, 0).size();
    const size_t tailAt = r4At + test::Block13(0, r4, 0).size();
    myd.raw(test::Block5(static_cast<uint16_t>(r3.size()), head, tailAt));
    myd.raw(test::Block13(static_cast<uint32_t>(r4.size()), r4, 0));
    ASSERT_EQ(myd.bytes.size(), tailAt);
    myd.raw(test::Block7(tail));
    // r4 fits its type 13 block; a record length that matches its data ends the chain.
    EXPECT_EQ(ReadRows(myd.bytes),
              (std::vector<std::string>{"1|ab|xy", "0||NULL", "3|split|z", "4|thirteen|q"}));
}

TEST_F(MyIsamRowsTest, DynamicWindowsOfAThousand) {
    UseDynamicTable();
    Bytes_ myd;
    for (int i = 1; i <= 1000; ++i) myd.raw(test::Block1(PackedRecord(i, "n", std::string("c"))));
    auto windows = ReadWindows(myd.bytes);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].size(), 1000u);
    EXPECT_EQ(static_cast<size_t>(window.bookmarks.back().origin), myd.bytes.size());
    EXPECT_TRUE(windows[1].empty());
}

TEST_F(MyIsamRowsTest, DamagedBlocksNeverStopTheScanOrLoop) {
    UseDynamicTable();
    const auto good = test::Block1(PackedRecord(7, "ok", std::string("k")));
    struct Case {
        const char* what;
        std::vector<uint8_t> damage;
    };
    Bytes_ selfChain;  // a type 11 continuation that links to itself, forever
    selfChain.raw(test::Block5(100, {0, 0, 0, 0}, 13 + 4));
    selfChain.raw(test::Block11({1, 2, 3, 4}, 13 + 4));
    const std::vector<Case> cases = {
        {"deleted block of length 0", test::DeletedBlock(0)},
        {"header type above 13", Bytes_().u8(0x55).zeros(19).bytes},
        {"chain beyond the end of the file", test::Block5(50, {1, 2, 3, 4}, 1ull << 40)},
        {"chain pointing back to itself", test::Block5(50, {1, 2, 3, 4}, 0)},
        {"chain cycle through a continuation", selfChain.bytes},
        {"type 13 record length beyond the file", test::Block13(0xFFFFFFF0, {1, 2, 3}, 0)},
        {"continuation with more data than the record", test::Block5(5, {9, 9, 9, 9}, 13 + 4)},
        {"a record without data", test::Block5(0, {}, 0)},
        {"blocks of zeros", std::vector<uint8_t>(64, 0)},
        {"blocks of 0xFF", std::vector<uint8_t>(64, 0xFF)},
    };
    for (const Case& c : cases) {
        Bytes_ myd;
        myd.raw(c.damage).zeros((4 - c.damage.size() % 4) % 4).raw(good);
        const std::vector<std::string> rows = ReadRows(myd.bytes);
        ASSERT_FALSE(rows.empty()) << c.what;
        EXPECT_EQ(rows.back(), "7|ok|k") << c.what;
    }
}

TEST_F(MyIsamRowsTest, BlocksOfOneChainGoToOneRecordOnly) {
    // Two hundred first blocks whose chains all lead into one long chain of
    // continuations: the chain is read once, for the first record; the
    // others find its blocks taken and are left out.
    UseDynamicTable();
    const auto record = PackedRecord(5, "shared", std::string("s"));
    const std::vector<uint8_t> head(record.begin(), record.begin() + 4);
    constexpr size_t kFirsts = 200;
    const size_t chainAt = kFirsts * test::Block5(0, head, 0).size();
    Bytes_ myd;
    for (size_t i = 0; i < kFirsts; ++i)
        myd.raw(test::Block5(static_cast<uint16_t>(record.size()), head, chainAt));
    ASSERT_EQ(myd.bytes.size(), chainAt);
    for (size_t at = 4; at < record.size(); ++at) {
        const std::vector<uint8_t> one{record[at]};
        if (at + 1 == record.size()) {
            myd.raw(test::Block7(one));
        } else {
            myd.raw(test::Block11(one, myd.bytes.size() + test::Block11(one, 0).size()));
        }
    }
    EXPECT_EQ(ReadRows(myd.bytes), (std::vector<std::string>{"5|shared|s"}));
}

TEST_F(MyIsamRowsTest, RecordsLongerThanTheirFieldsAllowAreDamage) {
    // A record that claims more bytes than its fields can hold is not read,
    // whatever its chain: here 3 GB in blocks of a sparse file.
    UseDynamicTable();
    constexpr uint64_t kClaimed = 3ull << 30;
    constexpr uint64_t kStep = 16ull << 20;
    const std::filesystem::path myd = dir.path() / "t.MYD";
    {
        Bytes_ head;
        head.raw(test::Block13(static_cast<uint32_t>(kClaimed), {1, 2, 3, 4}, kStep));
        head.zeros((4 - head.bytes.size() % 4) % 4);
        head.raw(test::Block1(PackedRecord(7, "ok", std::string("k"))));
        test::WriteFile(myd, head.bytes);
    }
    std::filesystem::resize_file(myd, kClaimed + kStep);
    {
        // The chain: a continuation of 16 MB every 16 MB, to the end.
        std::fstream file(myd, std::ios::in | std::ios::out | std::ios::binary);
        for (uint64_t at = kStep; at < kClaimed + kStep; at += kStep) {
            const uint64_t next = at + kStep < kClaimed + kStep ? at + kStep : 0;
            const auto header = Bytes_().u8(12).u24be(kStep - 12).u64be(next).bytes;
            file.seekp(static_cast<std::streamoff>(at));
            file.write(reinterpret_cast<const char*>(header.data()),
                       static_cast<std::streamsize>(header.size()));
        }
    }
    ASSERT_TRUE(ReadFirstMyIsamWindow(myisam, myd, test::TestApp()));
    ASSERT_EQ(window.rows.rowCount(), 1u);
    EXPECT_EQ(window.rows.Text(0, 1), u"ok");
    // A record of the longest length its fields allow is still read.
    UseDynamicTable();
    const auto longest = PackedRecord(9, std::string(20, 'n'), std::string(9, 'c'));
    EXPECT_EQ(ReadRows(test::Block1(longest)),
              (std::vector<std::string>{"9|" + std::string(20, 'n') + "|" + std::string(9, 'c')}));
}

TEST_F(MyIsamRowsTest, ASparseDataFileIsReadAWindowAtATime) {
    // A 100 GB data file of zeros after its first row: each window moves
    // over a bounded part of it and leaves a bookmark where the next goes on.
    constexpr uint64_t kLength = 100ull << 30;
    struct Case {
        const char* what;
        bool dynamic;
    };
    for (const Case c : {Case{"dynamic", true}, Case{"fixed", false}}) {
        c.dynamic ? UseDynamicTable() : UseFixedTable();
        const std::filesystem::path myd = dir.path() / "t.MYD";
        test::WriteFile(
            myd, c.dynamic ? test::Block1(PackedRecord(1, "a", std::string("b"))) : FixedRow(1, 2));
        std::filesystem::resize_file(myd, kLength);
        ASSERT_TRUE(ReadFirstMyIsamWindow(myisam, myd, test::TestApp())) << c.what;
        EXPECT_EQ(window.rows.rowCount(), 1u) << c.what;
        ASSERT_TRUE(window.windowFull) << c.what;
        ASSERT_EQ(window.bookmarks.size(), 2u) << c.what;
        const uint64_t first = static_cast<uint64_t>(window.bookmarks.back().origin);
        EXPECT_GE(first, kWindowScanBytes) << c.what;
        EXPECT_LE(first, kWindowScanBytes + 64 * 1024) << c.what;
        ASSERT_TRUE(
            ReadMyIsamWindowAt(myisam, window.bookmarks.back().origin, true, test::TestApp()));
        EXPECT_EQ(window.rows.rowCount(), 0u) << c.what;
        ASSERT_TRUE(window.windowFull) << c.what;
        const uint64_t second = static_cast<uint64_t>(window.bookmarks.back().origin);
        EXPECT_GE(second - first, kWindowScanBytes) << c.what;
        EXPECT_LE(second - first, kWindowScanBytes + 64 * 1024) << c.what;
        myisam.dataFile.Close();
    }
}

TEST_F(MyIsamRowsTest, UnpackRestoresCutSpacesAndChecksEveryLength) {
    // One field of each kind: skip-endspace CHAR, skip-prespace (old
    // DECIMAL digits), skip-zero INT, BLOB with a 2-byte length, VARCHAR
    // with a 2-byte length.
    NewTable();
    table.columns = {
        MakeColumn(u"c", FieldType::kString, 10, 2), MakeColumn(u"d", FieldType::kDecimal, 6, 12),
        MakeColumn(u"z", FieldType::kLong, 11, 18), MakeColumn(u"b", FieldType::kBlob, 10, 22),
        MakeColumn(u"v", FieldType::kVarchar, 300, 32)};
    for (CColumnDef& c : table.columns) c.charsetNumber = 8;
    table.recordLength = 333;
    table.nullBytes = 1;
    table.createOptions = 1;
    myisam.header.minPackLength = 1;
    myisam.header.packBits = 1;
    myisam.header.myisamColumns = {{0, 1, 0, 0, 0},  {1, 10, 0, 0, 1},  {2, 6, 0, 0, 11},
                                   {3, 4, 0, 0, 17}, {4, 10, 0, 0, 21}, {8, 302, 0, 0, 31}};
    CDynamicRecordUnpacker unpacker(myisam, test::TestApp());
    window.rows.Reset(table.columns.size());
    auto unpack = [&](const std::vector<uint8_t>& record) {
        return unpacker.UnpackDynamicRecord(myisam, record);
    };
    const std::string v300(300, 'v');
    Bytes_ full;  // every flag set: cut spaces, zero INT, empty BLOB
    full.u8(0x0F).u8(0).u8(2).text("ab").u8(2).text("12").u8(255).u16be(300).text(v300);
    ASSERT_TRUE(unpack(full.bytes));
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(0, 0)), "ab");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(0, 1)), "12");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(0, 2)), "0");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(0, 3)), "");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(0, 4)), v300);

    Bytes_ plain;  // no flags: every field stored whole, the BLOB with its length
    plain.u8(0)
        .u8(0)
        .text("0123456789")
        .text("  -1.5")
        .u32le(42)
        .u16le(5)
        .text("hello")
        .u8(1)
        .text("w");
    ASSERT_TRUE(unpack(plain.bytes));
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(1, 0)), "0123456789");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(1, 1)), "-1.5");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(1, 2)), "42");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(1, 3)), "hello");
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(1, 4)), "w");

    const std::vector<std::vector<uint8_t>> rejected = {
        {},                                                       // shorter than the flags
        Bytes_().u8(0x01).u8(0).u8(10).text("0123456789").bytes,  // cut length not below the field
        Bytes_()
            .u8(0x0F)
            .u8(0)
            .u8(2)
            .text("ab")
            .u8(2)
            .text("12")
            .u8(255)
            .u16be(301)
            .text(v300)
            .bytes,
        Bytes_()
            .u8(0)
            .u8(0)
            .text("0123456789")
            .text("  -1.5")
            .u32le(42)
            .u16le(500)
            .text("hello")
            .bytes,
        Bytes_().u8(0x0F).u8(0).u8(2).text("ab").u8(2).text("12").u8(5).text("ab").bytes,  // past
                                                                                           // the
                                                                                           // end
    };
    for (const auto& r : rejected) EXPECT_FALSE(unpack(r)) << r.size();
    EXPECT_EQ(window.rows.rowCount(), 2u);

    myisam.header.packBits = 200;  // flag bytes beyond the record
    EXPECT_FALSE(unpack(plain.bytes));
    myisam.header.packBits = 0;  // flagged fields but no flag bits
    EXPECT_FALSE(unpack(plain.bytes));
}

TEST_F(MyIsamRowsTest, CompressedTablesAndMissingFilesGiveNoRows) {
    UseFixedTable();
    myisam.header.myisamRowFormat = 2;
    EXPECT_TRUE(ReadRows(FixedRow(1, 1)).empty());
    ASSERT_EQ(window.bookmarks.size(), 1u);
    NewTable();
    EXPECT_TRUE(ReadFirstMyIsamWindow(myisam, dir.path() / "none.MYD", test::TestApp()));
    EXPECT_EQ(window.rows.rowCount(), 0u);
}

TEST(StorageFileNameTest, FindsDataFilesWhateverTheCaseOfTheirExtension) {
    test::TempDir dir;
    test::WriteFile(dir.path() / "t1.myd", {1});
    test::WriteFile(dir.path() / "t2.MYD", {1});
    EXPECT_EQ(FindStorageFile(dir.path(), u"t1", "MYD").filename(), "t1.myd");
    EXPECT_EQ(FindStorageFile(dir.path(), u"t2", "MYD").filename(), "t2.MYD");
    EXPECT_TRUE(FindStorageFile(dir.path(), u"t3", "MYD").empty());
    EXPECT_TRUE(
        FindStorageFile(dir.path(), u"T1", "MYD").empty());  // the table name keeps its case
}

}  // namespace
}  // namespace brix
