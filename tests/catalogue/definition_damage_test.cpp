// View and trigger definition files of the catalogue fixture, damaged: what
// their readers tell the damage report, and that whole files tell nothing.

#include <gtest/gtest.h>

#include <functional>

#include "app/damage_report.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct Case {
    const char* what;
    std::function<std::string(const std::string&)> damage;
    std::vector<std::string> whys;  // every finding, in order
};

// Writes the damaged copy of the fixture file name of north into a folder
// of that name, reads it with read and checks the findings.
void Check(const std::string& name, const Case& c,
           const std::function<void(const fs::path&, CDamageSink*)>& read) {
    SCOPED_TRACE(name + ": " + c.what);
    test::TempDir dir;
    fs::create_directories(dir.path() / "north");
    const fs::path file = dir.path() / "north" / name;
    const std::string text =
        test::ReadFileText(test::CatalogueFixtureDir() / "twodb" / "north" / name);
    const std::string damaged = c.damage(text);
    test::WriteFile(file, std::vector<uint8_t>(damaged.begin(), damaged.end()));
    CDamageReport report;
    read(file, &report);
    std::vector<std::string> whys;
    for (const DamageFinding& f : report.Findings()) {
        EXPECT_EQ(f.what, DamageWhat::kDefinition);
        EXPECT_EQ(fs::path(f.file), file);
        whys.push_back(f.why);
    }
    EXPECT_EQ(whys, c.whys);
}

TEST(DefinitionDamageTest, DamagedViewFilesAreTold) {
    const auto same = [](const std::string& t) { return t; };
    const Case cases[] = {
        {"whole", same, {}},
        {"cut short",
         [](const std::string& t) { return t.substr(0, t.size() - 5); },
         {"definition file is cut short: its last line has no end"}},
        {"another type",
         [](const std::string& t) { return Replaced(t, "TYPE=VIEW", "TYPE=VIEX"); },
         {"definition file does not start with TYPE=VIEW"}},
        {"no query",
         [](const std::string& t) { return Replaced(t, "\nquery=", "\nquerx="); },
         {"view definition holds no query"}},
        {"an unknown algorithm",
         [](const std::string& t) { return Replaced(t, "algorithm=0", "algorithm=7"); },
         {"view definition names an unknown algorithm"}},
        {"empty",
         [](const std::string&) { return std::string(); },
         {"definition file is empty", "view definition holds no query"}},
    };
    for (const Case& c : cases)
        Check("v_quote.frm", c, [](const fs::path& file, CDamageSink* damage) {
            ReadViewDefinition(file, test::TestApp(), damage);
        });
}

TEST(DefinitionDamageTest, DamagedTriggerFilesAreTold) {
    const auto same = [](const std::string& t) { return t; };
    const Case cases[] = {
        {"whole", same, {}},
        {"modes that do not pair",
         [](const std::string& t) { return Replaced(t, "sql_modes=0 0", "sql_modes=0 0 0"); },
         {"trigger file gives 3 modes for 2 triggers"}},
        {"no triggers line",
         [](const std::string& t) { return Replaced(t, "\ntriggers=", "\ntriggerz="); },
         {"trigger file lists no triggers"}},
        {"a statement that is not one",
         [](const std::string& t) {
             return Replaced(t, "TRIGGER items_before_insert BEFORE",
                             "TRIGGER items_before_insert");
         },
         {"trigger `items_before_insert` is left out: its statement has no BEFORE or AFTER"}},
        {"another type",
         [](const std::string& t) { return Replaced(t, "TYPE=TRIGGERS", "TYPE=TRIGGER"); },
         {"definition file does not start with TYPE=TRIGGERS"}},
    };
    for (const Case& c : cases)
        Check("items.TRG", c, [](const fs::path& file, CDamageSink* damage) {
            ReadTriggerFile(file, test::TestApp(), damage);
        });
}

TEST(DefinitionDamageTest, AScanTellsTheLogOfDamagedViewsAndTriggers) {
    test::TempDir dir;
    fs::copy(test::CatalogueFixtureDir() / "twodb" / "north", dir.path() / "north",
             fs::copy_options::recursive);
    const fs::path view = dir.path() / "north" / "v_quote.frm";
    fs::resize_file(view, fs::file_size(view) - 1);
    const fs::path trg = dir.path() / "north" / "items.TRG";
    const std::string text = test::ReadFileText(trg);
    const std::string damaged = Replaced(text, "sql_modes=0 0", "sql_modes=0");
    test::WriteFile(trg, std::vector<uint8_t>(damaged.begin(), damaged.end()));
    test::BrowseSession s(dir.path());
    ASSERT_TRUE(s.Scan());
    std::vector<std::string> damageRows;
    for (const std::u16string& row : s.ui.logRows())
        if (row.starts_with(u"Damage: ")) damageRows.push_back(test::U8(row));
    EXPECT_EQ(
        damageRows,
        (std::vector<std::string>{
            "Damage: " + view.string() +
                ": definition: definition file is cut short: its last line has no end",
            "Damage: " + trg.string() + ": definition: trigger file gives 1 modes for 2 triggers",
        }));
}

}  // namespace
}  // namespace brix
