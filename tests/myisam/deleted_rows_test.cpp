// Deleted fixed-length slots of a data file a real server wrote, damaged
// byte by byte: which of them can be shown as deleted rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "browse/table_rows.h"
#include "myisam/block_header.h"
#include "myisam/deleted_rows.h"
#include "schema/frm_reader.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::filesystem::path kFolder =
    test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir" / "recover";

TEST(MyisamDeletedRowsTest, ReadsTheLinkLengthFromTheIndexFile) {
    EXPECT_EQ(ReadMyisamPointerLength(kFolder / "my_fixed.MYI"), 6u);
    EXPECT_EQ(ReadMyisamPointerLength(kFolder / "no_such.MYI"), 0u);
    // The data file is no index file: too short a header to say.
    test::TempDir dir;
    test::WriteFile(dir.path() / "t.MYI", test::Bytes({0xFE, 0xFE, 7, 1}));
    EXPECT_EQ(ReadMyisamPointerLength(dir.path() / "t.MYI"), 0u);
}

TEST(MyisamDeletedRowsTest, ShowsOnlySlotsThatCanBeDeletedRowsOfTheTable) {
    const CAppState& app = test::TestApp();
    CTableDef table;
    ASSERT_TRUE(ReadTableDefinition(table, kFolder / "my_fixed.frm", app, nullptr));
    const std::vector<uint8_t> file = test::ReadFileBytes(kFolder / "my_fixed.MYD");
    const size_t stride = static_cast<size_t>(table.recordLength);
    ASSERT_GT(stride, 0u);
    // The first deleted slot: its delete mark (the first byte) is 0.
    size_t at = 0;
    while (at + stride <= file.size() && file[at] != 0) at += stride;
    ASSERT_LT(at, file.size());
    const std::vector<uint8_t> slot(file.begin() + static_cast<std::ptrdiff_t>(at),
                                    file.begin() + static_cast<std::ptrdiff_t>(at + stride));
    const size_t born = static_cast<size_t>(table.columns[2].recordPos - 1);
    const size_t code = static_cast<size_t>(table.columns[6].recordPos - 1);
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> change;
        uint32_t pointerLength;
        bool shown;
    };
    const Case cases[] = {
        {"as the server left it", [](auto&) {}, 6, true},
        {"link to no slot (all 0xFF)", [](auto& s) { std::fill_n(s.begin() + 1, 6, 0xFF); }, 6,
         true},
        {"link length not known", [](auto&) {}, 0, true},
        {"delete mark set: a live row", [](auto& s) { s[0] = 1; }, 6, false},
        {"link past the file's slots", [](auto& s) { s[1] = 0x7F; }, 6, false},
        {"month 13",
         [&](auto& s) {
             s[born] = static_cast<uint8_t>((s[born] & 0x1F) | 0xA0);
             s[born + 1] = static_cast<uint8_t>(s[born + 1] | 1);
         },
         6, false},
        {"a zero in the text", [&](auto& s) { s[code] = 0; }, 6, false},
        {"nothing but zeros after the link",
         [](auto& s) { std::fill(s.begin() + 7, s.end(), uint8_t{0}); }, 6, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = slot;
        c.change(image);
        DeletedImage what;
        EXPECT_EQ(
            PlausibleDeletedSlot(table, image, stride, file.size(), c.pointerLength, app, what),
            c.shown)
            << c.what;
        if (!c.shown) continue;
        // id and the head of price lie in the link, qty's NULL flag in
        // the first byte.
        ASSERT_EQ(what.unknown.size(), table.columns.size());
        EXPECT_TRUE(what.unknown[0]) << c.what;
        EXPECT_TRUE(what.unknown[5]) << c.what;
        EXPECT_TRUE(what.unknown[1]) << c.what;
        EXPECT_FALSE(what.unknown[2]) << c.what;
    }
    // A slot shorter than its link is no row.
    DeletedImage what;
    EXPECT_FALSE(
        PlausibleDeletedSlot(table, test::Bytes({0, 0xFF}), stride, file.size(), 6, app, what));
}

}  // namespace
}  // namespace brix

namespace brix {
namespace {

// The deleted blocks of a dynamic table a real server wrote, damaged alike:
// each damage leaves no row to show, and none crashes the reader.
TEST(MyisamDeletedRowsTest, DeletedBlocksThatNoLongerFitGiveNoRows) {
    const std::vector<uint8_t> file = test::ReadFileBytes(kFolder / "my_dynamic_lead.MYD");
    // The blocks in file order: this table's live blocks are all of type 3
    // (a 2-byte length and a byte of unused length), its free ones type 0.
    std::vector<size_t> freeBlocks;
    for (size_t at = 0; at + 4 <= file.size();) {
        if (file[at] == 0) {
            freeBlocks.push_back(at);
            at += LoadU24be(file, at + 1);
        } else {
            ASSERT_EQ(file[at], 3) << at;
            at += 4 + LoadU16be(file, at + 1) + file[at + 3];
        }
    }
    ASSERT_FALSE(freeBlocks.empty());
    const auto rowsOf = [&](const std::vector<uint8_t>& data) {
        test::TempDir dir;
        for (const char* ext : {".frm", ".MYI"})
            std::filesystem::copy_file(kFolder / (std::string("my_dynamic_lead") + ext),
                                       dir.path() / (std::string("t") + ext));
        test::WriteFile(dir.path() / "t.MYD", data);
        const std::unique_ptr<CAppState> app = test::NewTestApp();
        CReadOptions options;
        options.deleted = true;
        CTableRows rows;
        EXPECT_EQ(rows.Open(dir.path(), u"t", *app, options), OpenRowsResult::kOk);
        size_t count = rows.rows().rowCount();
        while (rows.ReadNextWindow(*app)) count += rows.rows().rowCount();
        return count;
    };
    EXPECT_GT(rowsOf(file), 0u);
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&, size_t)> damage;
    };
    const Case cases[] = {
        {"no free block: an invalid type byte", [](auto& d, size_t at) { d[at] = 0xFF; }},
        {"link past the end of the file", [](auto& d, size_t at) { d[at + 4] = 0x7F; }},
        {"length past the end of the file",
         [](auto& d, size_t at) { d[at + 1] = d[at + 2] = d[at + 3] = 0xFF; }},
        {"record bytes that are no values",
         [](auto& d, size_t at) {
             std::fill(d.begin() + static_cast<std::ptrdiff_t>(at + 20),
                       d.begin() + static_cast<std::ptrdiff_t>(at + LoadU24be(d, at + 1)), 0xFF);
         }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = file;
        for (const size_t at : freeBlocks) c.damage(data, at);
        EXPECT_EQ(rowsOf(data), 0u) << c.what;
    }
}

// The deleted rows of a copy of table's files with the data file data, each
// as its cells joined by "|" ("?" for NULL), sorted.
std::vector<std::string> DeletedRowsOf(const std::string& table, const std::vector<uint8_t>& data) {
    test::TempDir dir;
    for (const char* ext : {".frm", ".MYI"})
        std::filesystem::copy_file(kFolder / (table + ext), dir.path() / (std::string("t") + ext));
    test::WriteFile(dir.path() / "t.MYD", data);
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.deleted = true;
    CTableRows rows;
    EXPECT_EQ(rows.Open(dir.path(), u"t", *app, options), OpenRowsResult::kOk);
    std::vector<test::ReadRow> got;
    size_t windows = 0;
    do {
        test::AppendWindowRows(rows.rows(), got);
    } while (rows.ReadNextWindow(*app) && ++windows < 1000);
    std::vector<std::string> out;
    for (const test::ReadRow& row : got) {
        std::string line;
        for (size_t c = 0; c < row.texts.size(); ++c)
            line += (row.nulls[c] ? std::string("?") : row.texts[c]) + "|";
        out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Free blocks of a dynamic data file in file order: (position, length).
std::vector<std::pair<size_t, size_t>> FreeBlocks(const std::vector<uint8_t>& file) {
    std::vector<std::pair<size_t, size_t>> blocks;
    MyisamBlockInfo info;
    for (size_t at = 0; at + 20 <= file.size();) {
        const int status = DecodeBlockHeader(ByteSpan(file).subspan(at, 20), at, info);
        if (status & BlockStatus::kInvalid) return blocks;
        const size_t length = (status & BlockStatus::kDeleted)
                                  ? info.blockLen
                                  : static_cast<size_t>(info.dataPos - at) + info.blockLen;
        if (status & BlockStatus::kDeleted) blocks.emplace_back(at, length);
        if (length == 0) return blocks;
        at += length;
    }
    return blocks;
}

// Records an update made too long for their block went on in a second one;
// the delete freed both. Read back through the links the free blocks kept,
// and not when those links no longer agree or the second block was reused.
TEST(MyisamDeletedRowsTest, RecordsOverTwoBlocksAreReadThroughTheirFreeBlocksLinks) {
    const std::vector<uint8_t> file = test::ReadFileBytes(kFolder / "my_grown.MYD");
    const std::vector<std::string> whole = DeletedRowsOf("my_grown", file);
    // Free blocks whose link to the next free block names an earlier free
    // block whose link back names them: the second blocks among them.
    std::vector<size_t> seconds;
    for (const auto& [at, length] : FreeBlocks(file)) {
        const uint64_t next = LoadU64be(file, at + 4);
        if (next >= file.size() || next + 20 > file.size() || file[next] != 0) continue;
        if (LoadU64be(file, next + 12) == at && next < at) seconds.push_back(at);
    }
    ASSERT_FALSE(seconds.empty());
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&, size_t)> damage;
    };
    const Case cases[] = {
        {"the second block's link back names another block",
         [](auto& d, size_t at) { d[at + 11] ^= 4; }},
        {"the second block was taken by a live record", [](auto& d, size_t at) { d[at] = 7; }},
        {"the second block's bytes are no values",
         [](auto& d, size_t at) {
             std::fill(d.begin() + static_cast<std::ptrdiff_t>(at + 20),
                       d.begin() + static_cast<std::ptrdiff_t>(at + LoadU24be(d, at + 1)), 0xFF);
         }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = file;
        for (const size_t at : seconds) c.damage(data, at);
        const std::vector<std::string> got = DeletedRowsOf("my_grown", data);
        // The records over two blocks are no longer shown.
        EXPECT_LT(got.size(), whole.size()) << c.what;
        // What is still shown was shown before.
        for (const std::string& row : got)
            EXPECT_TRUE(std::binary_search(whole.begin(), whole.end(), row)) << c.what << row;
    }
}

// A free block joined to the one before it (as a delete does with the free
// block after the record it frees) keeps its header inside the joined one:
// both rows are still read.
TEST(MyisamDeletedRowsTest, FreeBlocksJoinedByALaterDeleteAreBothRead) {
    const std::vector<uint8_t> file = test::ReadFileBytes(kFolder / "my_dynamic_lead.MYD");
    const std::vector<std::string> before = DeletedRowsOf("my_dynamic_lead", file);
    std::vector<uint8_t> data = file;
    size_t joined = 0;
    const auto blocks = FreeBlocks(file);
    for (size_t i = 0; i + 1 < blocks.size(); ++i) {
        const auto [at, length] = blocks[i];
        if (blocks[i + 1].first != at + length) continue;
        const size_t total = length + blocks[i + 1].second;
        data[at + 1] = static_cast<uint8_t>(total >> 16);
        data[at + 2] = static_cast<uint8_t>(total >> 8);
        data[at + 3] = static_cast<uint8_t>(total);
        ++joined;
        ++i;
    }
    ASSERT_GT(joined, 2u);
    EXPECT_EQ(DeletedRowsOf("my_dynamic_lead", data), before);
}

}  // namespace
}  // namespace brix
