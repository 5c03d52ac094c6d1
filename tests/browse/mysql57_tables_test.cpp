// Tables that MySQL 5.7 partitioned natively in InnoDB: no .par file, one
// tablespace per partition ("t#P#p0.ibd"), each named in the system
// tablespace's SYS_TABLES as "db/t#P#p0", and the partitioning clause in the
// .frm, whose engine byte and engine name say InnoDB itself rather than the
// partitioning engine. No server we can run writes these files any more, so
// the data directory is byte-built from that layout: a dictionary of
// redundant-layout pages, a compact leaf per partition and the .frm.

#include <gtest/gtest.h>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "catalogue/partitions.h"
#include "innodb/dictionary.h"
#include "save/create_table.h"
#include "support/frm_builder.h"
#include "support/innodb_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

using test::BigEndian;
using test::RedundantPage;
using test::TextBytes;
using Field = std::optional<std::vector<uint8_t>>;

// The partitions in the clause's order, which is neither the order of their
// names nor of their ids. alpha's clustered root is page 4, which only the
// dictionary tells.
struct Partition {
    const char* name;
    uint64_t tableId;
    uint32_t space;
    uint64_t indexId;
    uint32_t root;
    int firstId;
    int lastId;
};
constexpr Partition kPartitions[] = {
    {"zeta", 31, 7, 107, 3, 1, 4},
    {"alpha", 32, 5, 105, 4, 10, 13},
    {"mid", 30, 6, 106, 3, 20, 22},
};

constexpr char kClause[] =
    " PARTITION BY RANGE (`id`)\n"
    "(PARTITION zeta VALUES LESS THAN (10) ENGINE = InnoDB,\n"
    " PARTITION alpha VALUES LESS THAN (20) ENGINE = InnoDB,\n"
    " PARTITION mid VALUES LESS THAN MAXVALUE ENGINE = InnoDB)";

constexpr uint8_t kInnoDbEngine = 12;

class NativePartitionsTest : public ::testing::Test {
  protected:
    NativePartitionsTest() {
        std::filesystem::create_directories(db());
        WriteDictionary("#P#");

        // A tablespace per partition: its space id and the flags of a 5.7
        // file-per-table space of ROW_FORMAT=DYNAMIC in page 0, the rows in
        // the root the dictionary names.
        for (const Partition& p : kPartitions) {
            std::vector<PageBuffer> space(p.root + 1);
            for (int shift = 0; shift < 4; ++shift) {
                space[0][34 + 3 - shift] = static_cast<uint8_t>(p.space >> (8 * shift));
                space[0][38 + 3 - shift] = static_cast<uint8_t>(p.space >> (8 * shift));
            }
            space[0][38 + 16 + 3] = 0x21;
            space[p.root] = test::TestTableLeaf(p.root, p.indexId, p.firstId, p.lastId);
            test::WriteTablespace(db() / (std::string("t#P#") + p.name + ".ibd"), space);
        }

        test::FrmBuilder frm;
        frm.engine = kInnoDbEngine;
        frm.serverVersion = 50744;
        frm.columns = {
            {.name = "id", .type = 3, .length = 11, .packFlags = 1},
            {.name = "v", .type = 15, .length = 300, .packFlags = 0x8000, .storedBytes = 302}};
        frm.keys = {{.name = "PRIMARY", .unique = true, .fieldNumbers = {1}}};
        frm.engineName = "InnoDB";
        frm.partitioning = kClause;
        frm.partitionEngine = kInnoDbEngine;
        test::WriteFile(db() / "t.frm", frm.Build());
    }

    // The dictionary: SYS_TABLES (root 8), SYS_COLUMNS (10) and SYS_INDEXES
    // (11), each row in key order; the partitions' names with marker between
    // the table's and the partition's, as the server spelt it.
    void WriteDictionary(const std::string& marker) {
        std::vector<PageBuffer> pages(12);
        RedundantPage tables(8);
        std::vector<std::vector<Field>> tableRows;
        for (const char* name : {"alpha", "mid", "zeta"}) {
            const Partition& p = ByName(name);
            // NAME, transaction id, roll pointer, ID, N_COLS (top bit:
            // compact rows), TYPE, MIX_ID, MIX_LEN, CLUSTER_NAME, SPACE.
            tableRows.push_back({TextBytes("db/t" + marker + name), BigEndian(0, 6),
                                 BigEndian(0, 7), BigEndian(p.tableId, 8),
                                 BigEndian(0x80000002u, 4), BigEndian(1, 4), BigEndian(0, 8),
                                 BigEndian(0, 4), std::nullopt, BigEndian(p.space, 4)});
        }
        tables.PutChained(tableRows);
        pages[8] = tables.bytes;
        RedundantPage columns(10);
        RedundantPage indexes(11);
        std::vector<std::vector<Field>> columnRows;
        std::vector<std::vector<Field>> indexRows;
        constexpr uint32_t kInt = 6, kVarchar = 1;
        for (uint64_t id = 30; id <= 32; ++id) {
            const Partition& p = ById(id);
            for (uint32_t pos = 0; pos < 2; ++pos)
                columnRows.push_back({BigEndian(id, 8), BigEndian(pos, 4), BigEndian(0, 6),
                                      BigEndian(0, 7), TextBytes(pos == 0 ? "id" : "v"),
                                      BigEndian(pos == 0 ? kInt : kVarchar, 4),
                                      BigEndian(pos == 0 ? 0x103 : 15 | 8 << 16, 4),
                                      BigEndian(pos == 0 ? 4 : 300, 4), BigEndian(0, 4)});
            // TABLE_ID, ID, system fields, NAME, N_FIELDS, TYPE (clustered,
            // unique), SPACE, PAGE_NO.
            indexRows.push_back({BigEndian(id, 8), BigEndian(p.indexId, 8), BigEndian(0, 6),
                                 BigEndian(0, 7), TextBytes("PRIMARY"), BigEndian(1, 4),
                                 BigEndian(3, 4), BigEndian(p.space, 4), BigEndian(p.root, 4)});
        }
        columns.PutChained(columnRows);
        indexes.PutChained(indexRows);
        pages[10] = columns.bytes;
        pages[11] = indexes.bytes;
        test::WriteTablespace(dir.path() / "ibdata1", pages);
    }

    static const Partition& ByName(const std::string& name) {
        for (const Partition& p : kPartitions)
            if (name == p.name) return p;
        return kPartitions[0];
    }
    static const Partition& ById(uint64_t id) {
        for (const Partition& p : kPartitions)
            if (p.tableId == id) return p;
        return kPartitions[0];
    }

    std::filesystem::path db() const { return dir.path() / "db"; }

    test::TempDir dir;
    std::unique_ptr<CAppState> app = test::NewTestApp();
};

// The dictionary names the partitions as the files do, or in lower case as a
// server on a system that ignores the case of file names wrote them.
TEST_F(NativePartitionsTest, ReadsAsOneTableInTheClausesOrderFromTheRootsTheDictionaryNames) {
    for (const char* marker : {"#P#", "#p#"}) {
        SCOPED_TRACE(marker);
        WriteDictionary(marker);
        CInnoDictionary dictionary;
        ASSERT_TRUE(dictionary.Open(dir.path() / "ibdata1", *app));
        CDamageReport report;
        CReadOptions options;
        options.damage = &report;
        CTableRows rows;
        ASSERT_EQ(rows.Open(db(), u"t", *app, options, &dictionary), OpenRowsResult::kOk);
        EXPECT_EQ(rows.table().engineCode, kInnoDbEngine);
        std::vector<std::string> names;
        for (const CPartitionFile& part : rows.partitions()) names.push_back(test::U8(part.name));
        EXPECT_EQ(names, (std::vector<std::string>{"zeta", "alpha", "mid"}));
        std::vector<std::string> got;
        for (int windows = 0; windows < 10; ++windows) {
            for (size_t r = 0; r < rows.rows().rowCount(); ++r)
                got.push_back(test::U8(rows.rows().Text(r, 0)) + ":" +
                              test::U8(rows.rows().Text(r, 1)));
            if (!rows.ReadNextWindow(*app)) break;
        }
        std::vector<std::string> want;
        for (const Partition& p : kPartitions)
            for (int id = p.firstId; id <= p.lastId; ++id)
                want.push_back(std::to_string(id) + ":v" + std::to_string(id));
        EXPECT_EQ(got, want);
        std::vector<std::string> reasons;
        for (const DamageFinding& f : report.Findings()) reasons.push_back(f.why);
        EXPECT_TRUE(reasons.empty()) << reasons.front();
    }
}

TEST_F(NativePartitionsTest, SavesAsAnInnoDbTablePartitionedByTheSameClause) {
    CTableRows rows;
    ASSERT_EQ(rows.Open(db(), u"t", *app), OpenRowsResult::kOk);
    ASSERT_TRUE(PartitioningKept(rows.table()));
    const std::string statement =
        test::U8(CreateTableStatement(rows.table(), u"t", app->collations));
    EXPECT_NE(statement.find(") ENGINE=InnoDB"), std::string::npos) << statement;
    EXPECT_NE(statement.find("\nPARTITION BY RANGE (`id`)\n(PARTITION zeta VALUES LESS THAN (10)"),
              std::string::npos)
        << statement;
}

// A MySQL 5.7 table with a virtual column between two stored ones: the
// clustered records hold id and v only, which read right only when the
// generated column is known as virtual; the grid still has its column.
TEST(MySql57GeneratedColumnsTest, VirtualColumnsAreLeftOutOfTheStoredRecord) {
    test::TempDir dir;
    const std::filesystem::path db = dir.path() / "db";
    std::filesystem::create_directories(db);
    std::vector<PageBuffer> pages(4);
    pages[3] = test::TestTableLeaf(3, 0, 1, 5);
    test::WriteTablespace(db / "g.ibd", pages);
    const std::string expression = "(`id` * 2)";
    test::FrmBuilder frm;
    frm.engine = kInnoDbEngine;
    frm.serverVersion = 50744;
    frm.columns = {{.name = "id", .type = 3, .length = 11, .packFlags = 1},
                   // Virtual columns go to the end of the row image.
                   {.name = "w",
                    .type = 3,
                    .length = 11,
                    .packFlags = 0x8001,
                    .recordPos = 308,
                    .unireg = 0x80},
                   {.name = "v",
                    .type = 15,
                    .length = 300,
                    .packFlags = 0x8000,
                    .recordPos = 6,
                    .storedBytes = 302}};
    frm.keys = {{.name = "PRIMARY", .unique = true, .fieldNumbers = {1}}};
    frm.expressions = {1, static_cast<uint8_t>(expression.size()), 0, 0};
    frm.expressions.insert(frm.expressions.end(), expression.begin(), expression.end());
    test::WriteFile(db / "g.frm", frm.Build());

    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    CTableRows rows;
    ASSERT_EQ(rows.Open(db, u"g", *app, options), OpenRowsResult::kOk);
    ASSERT_EQ(rows.rows().columnCount(), 3u);
    std::vector<std::string> got;
    for (size_t r = 0; r < rows.rows().rowCount(); ++r)
        got.push_back(test::U8(rows.rows().Text(r, 0)) + ":" + test::U8(rows.rows().Text(r, 2)));
    EXPECT_EQ(got, (std::vector<std::string>{"1:v1", "2:v2", "3:v3", "4:v4", "5:v5"}));
    EXPECT_EQ(report.Count(), 0u);
    const std::string statement =
        test::U8(CreateTableStatement(rows.table(), u"g", app->collations));
    EXPECT_NE(statement.find("`w` INT(11) GENERATED ALWAYS AS ((`id` * 2)) VIRTUAL"),
              std::string::npos)
        << statement;
}

}  // namespace
}  // namespace brix
