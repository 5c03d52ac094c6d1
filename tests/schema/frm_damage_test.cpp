// Table definitions of the fixture data directory, damaged: what reading the
// table's rows tells the damage report of its .frm.

#include <gtest/gtest.h>

#include <functional>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "schema/frm_reader.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

struct FrmRead {
    OpenRowsResult result;
    std::vector<DamageFinding> findings;
};

// Copies types.ints_fixed with its .frm damaged by damage and opens it.
FrmRead OpenDamaged(const std::function<void(std::vector<uint8_t>&)>& damage) {
    test::TempDir dir;
    for (const char* extension : {".MYD", ".MYI"})
        fs::copy_file(test::FixtureDataDir() / "types" / ("ints_fixed" + std::string(extension)),
                      dir.path() / ("ints_fixed" + std::string(extension)));
    std::vector<uint8_t> frm =
        test::ReadFileBytes(test::FixtureDataDir() / "types" / "ints_fixed.frm");
    damage(frm);
    test::WriteFile(dir.path() / "ints_fixed.frm", frm);
    CDamageReport report;
    CReadOptions options;
    options.damage = &report;
    CTableRows table;
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    FrmRead read;
    read.result = table.Open(dir.path(), u"ints_fixed", *app, options);
    read.findings = report.Findings();
    return read;
}

TEST(FrmDamageTest, DamagedDefinitionsAreToldWithWhereAndWhy) {
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        int64_t offset;
        const char* why;
    };
    const Case cases[] = {
        {"empty", [](std::vector<uint8_t>& b) { b.clear(); }, -1, "definition file is empty"},
        {"cut in its header", [](std::vector<uint8_t>& b) { b.resize(40); }, 40,
         "definition file is cut short"},
        {"an unknown layout", [](std::vector<uint8_t>& b) { b[2] = 99; }, 2,
         "unknown definition layout 99"},
        {"no table magic", [](std::vector<uint8_t>& b) { b[0] = 'x'; }, 0,
         "not a table definition"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FrmRead read = OpenDamaged(c.damage);
        EXPECT_EQ(read.result, OpenRowsResult::kNoDefinition);
        ASSERT_EQ(read.findings.size(), 1u);
        EXPECT_EQ(read.findings[0].what, DamageWhat::kDefinition);
        EXPECT_EQ(read.findings[0].offset, c.offset);
        EXPECT_EQ(read.findings[0].why, c.why);
        EXPECT_EQ(fs::path(read.findings[0].file).filename(), "ints_fixed.frm");
    }
}

TEST(FrmDamageTest, EveryCutThroughTheColumnDefinitionsIsTold) {
    const size_t size =
        test::ReadFileBytes(test::FixtureDataDir() / "types" / "ints_fixed.frm").size();
    for (size_t cut = 64; cut < size; cut += 7) {
        const FrmRead read = OpenDamaged([cut](std::vector<uint8_t>& b) { b.resize(cut); });
        for (const DamageFinding& f : read.findings) {
            EXPECT_EQ(f.what, DamageWhat::kDefinition) << cut;
            EXPECT_GE(f.offset, 0) << cut;
            EXPECT_LE(f.offset, static_cast<int64_t>(cut)) << cut;
        }
        // Whatever could be read of the columns, the cut is never silent.
        EXPECT_FALSE(read.findings.empty()) << cut;
    }
}

}  // namespace
}  // namespace brix
