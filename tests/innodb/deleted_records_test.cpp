// The search for deleted records on InnoDB leaf pages, on a page a real
// server wrote with delete-marked records still on it, damaged byte by byte.

#include <gtest/gtest.h>

#include <functional>

#include "innodb/columns.h"
#include "innodb/deleted_records.h"
#include "innodb/inno_table_reader.h"
#include "innodb/page_view.h"
#include "innodb/record.h"
#include "schema/frm_reader.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::filesystem::path kFolder =
    test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir" / "recover";

// The table inno_kept and a leaf page of it that holds delete-marked records.
class DeletedRecordsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const CAppState& app = test::TestApp();
        ASSERT_TRUE(ReadTableDefinition(table_, kFolder / "inno_kept.frm", app, nullptr));
        BuildColumnsFromFrm(inno_, app);
        const std::vector<uint8_t> file = test::ReadFileBytes(kFolder / "inno_kept.ibd");
        for (size_t at = 0; at + kPageSize <= file.size(); at += kPageSize) {
            const ByteSpan page(file.data() + at, kPageSize);
            const CIndexPageView view(page);
            if (!view.holdsRecords() || view.level() != 0) continue;
            std::vector<DeletedRecord> found;
            FindDeletedRecords(inno_, page, app, found);
            if (found.empty()) continue;
            page_.assign(page.begin(), page.end());
            found_ = found;
            return;
        }
        FAIL() << "no leaf with deleted records";
    }

    std::vector<DeletedRecord> Find(const std::vector<uint8_t>& page) {
        std::vector<DeletedRecord> found;
        FindDeletedRecords(inno_, page, test::TestApp(), found);
        return found;
    }

    // Where the field holding column lies in the record at origin.
    FieldSlot Slot(uint32_t origin, int32_t column) {
        std::vector<FieldSlot> slots;
        EXPECT_TRUE(LocateCompactFields(page_, origin, kPageSize - origin, inno_.physicalColumns, 0,
                                        slots));
        for (size_t i = 0; i < inno_.physicalColumns.size(); ++i)
            if (inno_.physicalColumns[i].position == column) return slots[i];
        ADD_FAILURE() << "no field for column " << column;
        return {};
    }

    CTableDef table_;
    CWindowState window_;
    CInnoTableReader inno_{table_, window_};
    std::vector<uint8_t> page_;
    std::vector<DeletedRecord> found_;
};

TEST_F(DeletedRecordsTest, FindsTheDeleteMarkedRecordsOfAPage) {
    const CIndexPageView view(page_);
    for (const DeletedRecord& r : found_) {
        EXPECT_EQ(r.source, DeletedRecordSource::kDeleteMarked);
        EXPECT_TRUE(view.InfoBits(r.origin) & kInfoDeleted);
    }
}

TEST_F(DeletedRecordsTest, LeavesOutRecordsThatDoNotFitTheTable) {
    const uint32_t origin = found_.front().origin;
    // Fields: id, DB_TRX_ID, DB_ROLL_PTR, then the columns in order.
    const FieldSlot kind = Slot(origin, 5);
    const FieldSlot born = Slot(origin, 3);
    const FieldSlot name = Slot(origin, 1);
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const Case cases[] = {
        {"delete mark cleared: a live row", [&](auto& p) { p[origin - 5] &= ~kInfoDeleted; }},
        {"roll pointer wiped",
         [&](auto& p) { std::fill_n(p.begin() + origin + 4 + 6, 7, uint8_t{0}); }},
        {"transaction id wiped",
         [&](auto& p) { std::fill_n(p.begin() + origin + 4, 6, uint8_t{0}); }},
        {"ENUM index past its members", [&](auto& p) { p[kind.start] = 9; }},
        // DATE is a big-endian integer: day, month << 5, year << 9.
        {"month 15",
         [&](auto& p) {
             p[born.start + 1] |= 1;
             p[born.start + 2] |= 0xE0;
         }},
        {"text not UTF-8", [&](auto& p) { p[name.start] = 0xFF; }},
        {"node-pointer status", [&](auto& p) { p[origin - 3] = (p[origin - 3] & ~7) | 1; }},
        {"data wiped", [&](auto& p) { std::fill_n(p.begin() + origin, name.start - origin, 0); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> page = page_;
        c.damage(page);
        const std::vector<DeletedRecord> found = Find(page);
        EXPECT_EQ(found.size(), found_.size() - 1) << c.what;
        for (const DeletedRecord& r : found) EXPECT_NE(r.origin, origin) << c.what;
    }
}

TEST_F(DeletedRecordsTest, FreeListWalksEndOnLoopsAndLinksOutsideThePage) {
    // The free list's head is the 2 bytes at 44.
    for (const uint16_t head : {uint16_t{0xFFFF}, uint16_t{120}, uint16_t{16380}}) {
        std::vector<uint8_t> page = page_;
        page[44] = static_cast<uint8_t>(head >> 8);
        page[45] = static_cast<uint8_t>(head);
        EXPECT_EQ(Find(page).size(), found_.size()) << head;
    }
    // A free list whose first record links to itself is walked once.
    const uint32_t origin = found_.front().origin;
    std::vector<uint8_t> page = page_;
    page[44] = static_cast<uint8_t>(origin >> 8);
    page[45] = static_cast<uint8_t>(origin);
    page[origin - 2] = 0;
    page[origin - 1] = 0;
    EXPECT_LE(Find(page).size(), found_.size() + 1);
}

TEST_F(DeletedRecordsTest, PagesThatAreNoLeavesGiveNothing) {
    std::vector<uint8_t> zeros(kPageSize, 0);
    EXPECT_TRUE(Find(zeros).empty());
    std::vector<uint8_t> page = page_;
    page[38 + 26] = 1;  // the level: not a leaf
    EXPECT_TRUE(Find(page).empty());
    // Directory slots enough to cover the page, and a heap top past it:
    // nothing is found above the heap, and the search ends.
    for (const int high : {0xFF, 0x40}) {
        std::vector<uint8_t> slots = page_;
        slots[38] = static_cast<uint8_t>(high);
        slots[39] = 0xFF;
        slots[40] = 0xFF;
        slots[41] = 0xFF;
        EXPECT_LE(Find(slots).size(), found_.size()) << high;
    }
    std::vector<uint8_t> shortPage(page_.begin(), page_.begin() + 200);
    EXPECT_TRUE(Find(shortPage).empty());
}

// A page of the table's own index, taken whole: its listed records, live or
// delete-marked, then those of its free space; a page with anything in its
// list that is not the table's gives nothing at all.
TEST_F(DeletedRecordsTest, WholePagesAreTakenOnlyWhenEveryListedRecordFits) {
    const CIndexPageView view(page_);
    std::vector<DeletedRecord> all;
    ASSERT_TRUE(FindPageRecords(inno_, page_, test::TestApp(), all));
    size_t live = 0;
    size_t marked = 0;
    for (const DeletedRecord& r : all) {
        live += r.source == DeletedRecordSource::kLive ? 1 : 0;
        marked += r.source == DeletedRecordSource::kDeleteMarked ? 1 : 0;
    }
    EXPECT_EQ(live + marked, view.header().userRecords);
    EXPECT_GT(live, 0u);
    EXPECT_EQ(all.size() - live, found_.size());

    // The first live record of the list.
    uint32_t origin = 0;
    for (const DeletedRecord& r : all)
        if (r.source == DeletedRecordSource::kLive) {
            origin = r.origin;
            break;
        }
    const FieldSlot born = Slot(origin, 3);
    const FieldSlot name = Slot(origin, 1);
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    // Listed records are judged by their layout only: a server may leave
    // values no check would expect (MariaDB zeroes the transaction id and
    // roll pointer of old records), so these pages are still taken.
    const Case kept[] = {
        {"a live record's date is no date",
         [&](auto& p) {
             p[born.start + 1] |= 1;
             p[born.start + 2] |= 0xE0;
         }},
        {"a live record's text is not UTF-8", [&](auto& p) { p[name.start] = 0xFF; }},
        {"a live record's transaction id wiped",
         [&](auto& p) { std::fill_n(p.begin() + origin + 4, 6, uint8_t{0}); }},
    };
    for (const Case& c : kept) {
        std::vector<uint8_t> page = page_;
        c.damage(page);
        std::vector<DeletedRecord> found;
        EXPECT_TRUE(FindPageRecords(inno_, page, test::TestApp(), found)) << c.what;
        EXPECT_EQ(found.size(), all.size()) << c.what;
    }
    const Case cases[] = {
        // The page header's user record count: 2 bytes at 38 + 16.
        {"more records counted than listed", [&](auto& p) { ++p[38 + 17]; }},
        // The next-record link, relative, 2 bytes before the origin: onto
        // the record itself.
        {"the list loops",
         [&](auto& p) {
             p[origin - 2] = 0;
             p[origin - 1] = 0;
         }},
        {"a node pointer page", [&](auto& p) { p[38 + 26] = 1; }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> page = page_;
        c.damage(page);
        std::vector<DeletedRecord> found{DeletedRecord{1, DeletedRecordSource::kLive}};
        EXPECT_FALSE(FindPageRecords(inno_, page, test::TestApp(), found)) << c.what;
        EXPECT_EQ(found.size(), 1u) << c.what;
    }
}

// Records of another layout do not pass for the table's, even where every
// byte of them could be a value: a table whose record is shorter than the
// page's records finds its data running into the next record's header.
TEST_F(DeletedRecordsTest, PagesOfAnotherLayoutAreNotTaken) {
    CTableDef narrow;
    ASSERT_TRUE(ReadTableDefinition(narrow, kFolder / "my_fixed.frm", test::TestApp(), nullptr));
    narrow.engineCode = EngineCode::kInnoDb;
    CWindowState window;
    CInnoTableReader other{narrow, window};
    BuildColumnsFromFrm(other, test::TestApp());
    std::vector<DeletedRecord> found;
    EXPECT_FALSE(FindPageRecords(other, page_, test::TestApp(), found));
    EXPECT_TRUE(found.empty());
}

}  // namespace
}  // namespace brix
