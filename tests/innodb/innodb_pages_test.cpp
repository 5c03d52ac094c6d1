// InnoDB tablespaces built page by page: the descent, the leaf walk and its
// windows, off-page values, and damaged pages that must end the walk quietly.

#include <gtest/gtest.h>

#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/blob.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "support/innodb_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

using test::CompactPage;
using test::MakeTestRecord;

class InnoPagesTest : public ::testing::Test {
  protected:
    InnoPagesTest() {
        CColumnDef id;
        id.name = u"id";
        id.type = FieldType::kLong;
        id.length = 11;
        id.signedness = Signedness::kSigned;
        id.inPrimaryKey = true;
        CColumnDef v;
        v.name = u"v";
        v.index = 1;
        v.type = FieldType::kVarchar;
        v.length = 300;
        v.nullable = true;
        v.charsetNumber = 8;
        v.decoder = app.decoders().ForCollation(8);
        table.columns = {id, v};
        CKeyDef primary;
        primary.name = u"PRIMARY";
        primary.flags = CKeyDef::kUnique;
        primary.parts = {CKeyPartDef{0, 4, 4, 0, 1, 0}};
        table.keys = {primary};
        table.engineCode = EngineCode::kInnoDb;
        BuildColumnsFromFrm(inno, app);
    }

    // A leaf holding the rows first to last, 40 bytes apart.
    static CompactPage Leaf(uint32_t number, int first, int last, uint32_t previous,
                            uint32_t next) {
        CompactPage page(number, 0, previous, next);
        std::vector<uint32_t> origins;
        uint32_t at = 130;
        for (int id = first; id <= last; ++id) {
            const test::TestRecord r = MakeTestRecord(
                id,
                id % 5 == 0 ? std::nullopt : std::optional<std::string>("v" + std::to_string(id)));
            origins.push_back(page.Put(at, r.extra, r.data));
            at += 40;
        }
        page.Chain(origins);
        return page;
    }

    void Open(const std::vector<PageBuffer>& pages) {
        test::WriteTablespace(dir.path() / "t.ibd", pages);
        auto space = std::make_shared<CTablespace>();
        ASSERT_TRUE(space->Open(dir.path() / "t.ibd"));
        inno.space = std::move(space);
        inno.perTableSource = true;
    }

    // Every row of every window from the root, as id texts.
    std::vector<std::string> ReadAll(uint32_t root = 3) {
        std::vector<std::string> ids;
        window.bookmarks.clear();
        window.rows.Reset(table.columns.size());
        const uint32_t leaf = FindFirstLeaf(inno, *inno.space, root);
        if (leaf == 0) return ids;
        window.bookmarks.push_back(RecordBookmark{leaf, 0});
        FillRowWindow(inno, *inno.space, leaf, 0, false, app);
        do {
            for (size_t r = 0; r < window.rows.rowCount(); ++r)
                ids.push_back(Utf16ToUtf8(window.rows.Text(r, 0)));
        } while (ReadNextInnoWindow(inno, app));
        return ids;
    }

    static std::vector<std::string> Range(int first, int last) {
        std::vector<std::string> ids;
        for (int i = first; i <= last; ++i) ids.push_back(std::to_string(i));
        return ids;
    }

    // Export mode counts its spill files in the state: one of the test's own.
    std::unique_ptr<CAppState> ownedApp = test::NewTestApp();
    CAppState& app = *ownedApp;
    CTableDef table;
    CWindowState window;
    CInnoTableReader inno{table, window};
    test::TempDir dir;
};

TEST_F(InnoPagesTest, DescendsAndReadsWindowsAcrossLeaves) {
    CompactPage root(3, 1);
    const test::TestRecord p4 = test::MakeNodePointer(1, 4);
    const test::TestRecord p5 = test::MakeNodePointer(401, 5);
    const test::TestRecord p6 = test::MakeNodePointer(801, 6);
    root.Chain({root.Put(130, p4.extra, p4.data, kInfoMinRecord, 1),
                root.Put(150, p5.extra, p5.data, 0, 1), root.Put(170, p6.extra, p6.data, 0, 1)});
    Open({{},
          {},
          {},
          root.bytes,
          Leaf(4, 1, 400, kNoPage, 5).bytes,
          Leaf(5, 401, 800, 4, 6).bytes,
          Leaf(6, 801, 1100, 5, kNoPage).bytes});

    EXPECT_EQ(ReadAll(), Range(1, 1100));
    // The first window filled and left the start of the second behind it.
    ASSERT_EQ(window.bookmarks.size(), 2u);
    EXPECT_EQ(window.bookmarks[1].page, 6u);
    EXPECT_EQ(window.rows.rowCount(), 100u);
    EXPECT_EQ(window.rows.Text(0, 1), u"v1001");
    EXPECT_TRUE(window.rows.IsNull(4, 1));  // id 1005

    // A window of exactly 1000 rows ends at the supremum of the last leaf:
    // the window after it is empty.
    Open({{},
          {},
          {},
          Leaf(3, 1, 400, kNoPage, 4).bytes,
          Leaf(4, 401, 800, 3, 5).bytes,
          Leaf(5, 801, 1000, 4, kNoPage).bytes});
    EXPECT_EQ(ReadAll(), Range(1, 1000));
    EXPECT_EQ(window.rows.rowCount(), 0u);
}

TEST_F(InnoPagesTest, DamagedPagesEndTheWalkQuietly) {
    // Not an index page at the root: no rows.
    Open({{}, {}, {}, CompactPage(3, 0, kNoPage, kNoPage, 2).bytes});
    EXPECT_TRUE(ReadAll().empty());

    // A leaf without its infimum is skipped; the walk goes on to the next.
    CompactPage noInfimum = Leaf(4, 11, 20, 3, 5);
    noInfimum.bytes[kCompactInfimum] = 'X';
    Open({{},
          {},
          {},
          Leaf(3, 1, 10, kNoPage, 4).bytes,
          noInfimum.bytes,
          Leaf(5, 21, 30, 4, kNoPage).bytes});
    std::vector<std::string> expected = Range(1, 10);
    for (const std::string& id : Range(21, 30)) expected.push_back(id);
    EXPECT_EQ(ReadAll(), expected);

    // A record chain that loops back ends the page after each record once.
    CompactPage loop = Leaf(3, 1, 5, kNoPage, kNoPage);
    loop.Link(130 + 4 * 40, 130);  // the fifth record back to the first
    Open({{}, {}, {}, loop.bytes});
    EXPECT_EQ(ReadAll(), Range(1, 5));

    // A link past the page end, and a record whose data would cross it.
    CompactPage past = Leaf(3, 1, 3, kNoPage, kNoPage);
    past.Link(130 + 2 * 40, 16380);
    Open({{}, {}, {}, past.bytes});
    EXPECT_EQ(ReadAll(), Range(1, 3));
    CompactPage crossing(3);
    const test::TestRecord first = MakeTestRecord(1, "a");
    const test::TestRecord last = MakeTestRecord(2, std::string(200, 'z'));
    crossing.Chain({crossing.Put(130, first.extra, first.data),
                    crossing.Put(16300, last.extra, {last.data.begin(), last.data.begin() + 40})});
    Open({{}, {}, {}, crossing.bytes});
    EXPECT_EQ(ReadAll(), Range(1, 1));

    // Node pointers that lead back up: the descent gives up.
    CompactPage upper(3, 2);
    CompactPage lower(4, 1);
    const test::TestRecord down = test::MakeNodePointer(1, 4);
    const test::TestRecord up = test::MakeNodePointer(1, 3);
    upper.Chain({upper.Put(130, down.extra, down.data, kInfoMinRecord, 1)});
    lower.Chain({lower.Put(130, up.extra, up.data, kInfoMinRecord, 1)});
    Open({{}, {}, {}, upper.bytes, lower.bytes});
    EXPECT_EQ(FindFirstLeaf(inno, *inno.space, 3), 0u);

    // Leaves linked in a circle: every window ends, and so does the table.
    Open({{}, {}, {}, Leaf(3, 1, 400, 4, 4).bytes, Leaf(4, 401, 800, 3, 3).bytes});
    EXPECT_LT(ReadAll().size(), 5000u);
}

TEST_F(InnoPagesTest, EveryLeafIsWalkedOnceWhateverItsLinks) {
    struct Case {
        const char* what;
        std::vector<PageBuffer> pages;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"a leaf linked to itself", {{}, {}, {}, Leaf(3, 1, 400, 7, 3).bytes}, Range(1, 400)},
        // Its rows fill more than one window: the circle closes in the second.
        {"three leaves in a circle",
         {{},
          {},
          {},
          Leaf(3, 1, 400, 5, 4).bytes,
          Leaf(4, 401, 800, 3, 5).bytes,
          Leaf(5, 801, 1200, 4, 3).bytes},
         Range(1, 1200)},
        {"a chain that comes back to its middle",
         {{},
          {},
          {},
          Leaf(3, 1, 400, kNoPage, 4).bytes,
          Leaf(4, 401, 800, 3, 5).bytes,
          Leaf(5, 801, 900, 3, 4).bytes},
         Range(1, 900)},
    };
    for (const Case& c : cases) {
        Open(c.pages);
        EXPECT_EQ(ReadAll(), c.rows) << c.what;
    }

    // Reading an earlier window again gives it whole: the pages it crosses
    // were walked before, by the same chain.
    Open(cases[1].pages);
    ReadAll();
    ASSERT_GE(window.bookmarks.size(), 2u);
    ReadInnoWindowAt(inno, window.bookmarks[0], false, app);
    EXPECT_EQ(window.rows.rowCount(), 1000u);
    ReadInnoWindowAt(inno, window.bookmarks[1], false, app);
    EXPECT_EQ(window.rows.rowCount(), 200u);

    // A child at the level of its parent, or above it, is not followed down.
    for (uint16_t childLevel : {1, 2}) {
        CompactPage root(3, 1);
        const test::TestRecord down = test::MakeNodePointer(1, 4);
        root.Chain({root.Put(130, down.extra, down.data, kInfoMinRecord, 1)});
        CompactPage child(4, childLevel);
        const test::TestRecord leaf = test::MakeNodePointer(1, 5);
        child.Chain({child.Put(130, leaf.extra, leaf.data, kInfoMinRecord, 1)});
        Open({{}, {}, {}, root.bytes, child.bytes, Leaf(5, 1, 3, kNoPage, kNoPage).bytes});
        EXPECT_EQ(FindFirstLeaf(inno, *inno.space, 3), 0u) << childLevel;
    }
}

TEST_F(InnoPagesTest, OffPageChainsPassOnEachPageOnceAndNoMoreThanTheirLength) {
    const auto parts = [&](uint32_t length, const std::vector<PageBuffer>& pages) {
        Open(pages);
        const test::TestRecord r = test::MakeExternalRecord(1, "", 4, 38, length);
        const ByteSpan reference(r.data.data() + r.data.size() - kExternalReferenceLength,
                                 kExternalReferenceLength);
        std::string out;
        size_t calls = 0;
        ReadExternalValue(*inno.space, reference, [&](ByteSpan part) {
            ++calls;
            out.append(reinterpret_cast<const char*>(part.data()), part.size());
        });
        return std::make_pair(out, calls);
    };
    const PageBuffer self = test::BlobPage(4, 38, "loop-", 4);
    // A page linked to itself, in a file of many pages, claiming 4 GB.
    std::vector<PageBuffer> many(64);
    many[4] = self;
    EXPECT_EQ(parts(0xFFFFFFFF, many), std::make_pair(std::string("loop-"), size_t{2}));
    // Two pages linked to each other.
    EXPECT_EQ(
        parts(1000,
              {{}, {}, {}, {}, test::BlobPage(4, 38, "ab", 5), test::BlobPage(5, 38, "cd", 4)})
            .first,
        "abcd");
    // Parts longer than the value: cut at its length.
    EXPECT_EQ(parts(7, {{},
                        {},
                        {},
                        {},
                        test::BlobPage(4, 38, "first-", 5),
                        test::BlobPage(5, 38, "second", kNoPage)})
                  .first,
              "first-s");
}

TEST_F(InnoPagesTest, RecordsLinkedBackwardsReadInChainOrder) {
    CompactPage page(3);
    std::vector<uint32_t> origins;
    for (int id = 1; id <= 4; ++id) {
        const test::TestRecord r = MakeTestRecord(id, "x" + std::to_string(id));
        // Each row sits below the one before it.
        origins.push_back(page.Put(1000 - 40 * static_cast<uint32_t>(id), r.extra, r.data));
    }
    page.Chain(origins);
    Open({{}, {}, {}, page.bytes});
    EXPECT_EQ(ReadAll(), Range(1, 4));
    EXPECT_EQ(window.rows.Text(3, 1), u"x4");
}

TEST_F(InnoPagesTest, OffPageValuesShowAPlaceholderAndSpillWhenExporting) {
    CompactPage leaf(3);
    const test::TestRecord r = test::MakeExternalRecord(1, "local-", 4, 38, 12);
    leaf.Chain({leaf.Put(130, r.extra, r.data)});
    const PageBuffer part1 = test::BlobPage(4, 38, "first-", 5);
    const PageBuffer part2 = test::BlobPage(5, 38, "second", kNoPage);
    Open({{}, {}, {}, leaf.bytes, part1, part2});
    ReadAll();
    EXPECT_EQ(window.rows.Text(0, 1), u"Large Size Blob Data");
    EXPECT_FALSE(window.rows.IsSpilled(0, 1));

    inno.options.exportMode = true;
    inno.options.spillFolder = dir.path() / "spill";
    const uint64_t counter = app.spillFileCounter;
    ReadAll();
    ASSERT_TRUE(window.rows.IsSpilled(0, 1));
    const std::filesystem::path spilled(window.rows.Text(0, 1));
    EXPECT_EQ(spilled.filename().string(), std::to_string(counter));
    EXPECT_EQ(test::ReadFileText(spilled), "local-first-second");

    // A chain that comes back to its own page stops there: each page of it
    // is read once; a reference past the page count copies the local bytes.
    CompactPage longer(3);
    const test::TestRecord chained = test::MakeExternalRecord(1, "local-", 4, 38, 1000);
    longer.Chain({longer.Put(130, chained.extra, chained.data)});
    const PageBuffer cycle = test::BlobPage(4, 38, "again-", 4);
    Open({{}, {}, {}, longer.bytes, cycle});
    ReadAll();
    EXPECT_EQ(test::ReadFileText(std::filesystem::path(window.rows.Text(0, 1))), "local-again-");
    CompactPage far(3);
    const test::TestRecord beyond = test::MakeExternalRecord(1, "only", 99, 38, 12);
    far.Chain({far.Put(130, beyond.extra, beyond.data)});
    Open({{}, {}, {}, far.bytes});
    ReadAll();
    EXPECT_EQ(test::ReadFileText(std::filesystem::path(window.rows.Text(0, 1))), "only");
}

TEST_F(InnoPagesTest, ClusteredKeyLeadsTheRecordInKeyPartOrder) {
    auto column = [](const char16_t* name, int index, bool nullable) {
        CColumnDef c;
        c.name = name;
        c.index = index;
        c.type = FieldType::kLong;
        c.nullable = nullable;
        return c;
    };
    CTableDef t;
    CWindowState w;
    CInnoTableReader reader(t, w);
    t.columns = {column(u"a", 0, false), column(u"b", 1, false), column(u"c", 2, true)};
    CKeyDef unique;
    unique.name = u"u";
    unique.flags = CKeyDef::kUnique;
    unique.parts = {CKeyPartDef{0, 4, 4, 0, 3, 0}};  // nullable: not clustered
    CKeyDef primary;
    primary.name = u"PRIMARY";
    primary.flags = CKeyDef::kUnique;
    primary.parts = {CKeyPartDef{0, 4, 4, 0, 2, 0}, CKeyPartDef{0, 4, 4, 0, 1, 0}};
    t.keys = {unique};
    BuildColumnsFromFrm(reader, app);
    std::vector<int32_t> order;
    for (const CInnoColumnDef& c : reader.physicalColumns) order.push_back(c.position);
    EXPECT_EQ(order, (std::vector<int32_t>{-1, -1, -1, 0, 1, 2}));  // row id first

    t.keys = {primary, unique};
    BuildColumnsFromFrm(reader, app);
    order.clear();
    for (const CInnoColumnDef& c : reader.physicalColumns) order.push_back(c.position);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 0, -1, -1, 2}));  // PRIMARY KEY (b, a)
}

}  // namespace
}  // namespace brix
