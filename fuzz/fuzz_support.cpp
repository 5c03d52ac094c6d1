#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "app/read_only_file.h"

namespace brix::fuzz {

const std::filesystem::path& ScratchDir() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base)) base = std::filesystem::temp_directory_path();
        std::filesystem::path d = base / ("brix-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

CAppState& App() {
    static std::unique_ptr<CAppState> app = std::make_unique<CAppState>(
        kDefaultAnsiCodePage, std::filesystem::path(BRIX_SOURCE_DIR) / "data" / "collation (2)");
    return *app;
}

std::filesystem::path FixtureFile(const std::string& relative) {
    return std::filesystem::path(BRIX_SOURCE_DIR) / "tests" / "fixtures" / "datadir" / relative;
}

void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void PutInMemory(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    static std::set<std::filesystem::path> placed;
    if (placed.insert(path).second) WriteBytes(path, nullptr, 0);
    LendMemoryFile(path, {data, size});
}

void CopyInto(const std::filesystem::path& from, const std::filesystem::path& to) {
    // The fixture files never change: each is copied once per process.
    static std::set<std::filesystem::path> copied;
    if (!copied.insert(to).second) return;
    std::error_code ignored;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                               ignored);
}

}  // namespace brix::fuzz

#include "app/damage_report.h"
#include "browse/table_rows.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/deleted_records.h"
#include "innodb/inno_table_reader.h"
#include "sdi/sdi_table.h"

namespace brix::fuzz {

void ReadEveryWindow(const std::filesystem::path& folder, const std::u16string& tableName,
                     const CInnoDictionary* dictionary) {
    CAppState& app = App();
    for (bool exportMode : {false, true}) {
        CReadOptions options;
        options.exportMode = exportMode;
        options.spillFolder = ScratchDir() / "spill";
        options.windowRows = kFuzzWindowRows;
        // Findings are reported as the readers go, bounded by the report.
        CDamageReport report;
        options.damage = &report;
        CTableRows table;
        table.Open(folder, tableName, app, options, dictionary);
        for (int windows = 1; windows < kFuzzWindows && table.ReadNextWindow(app); ++windows) {
        }
        std::u16string text;
        const CRowWindow& rows = table.rows();
        for (size_t r = 0; r < rows.rowCount(); ++r)
            for (size_t c = 0; c < rows.columnCount(); ++c)
                if (rows.IsSpilled(r, c))
                    RenderSpilledValue(table.table(), c, std::filesystem::path(rows.Text(r, c)),
                                       app, text);
    }
    std::error_code ignored;
    std::filesystem::remove_all(ScratchDir() / "spill", ignored);
}

void ReadMyisamDataFile(const std::filesystem::path& name, const char* subfolder,
                        const uint8_t* data, size_t size) {
    const std::filesystem::path folder = ScratchDir() / subfolder;
    std::filesystem::create_directories(folder);
    const std::string stem = name.filename().string();
    CopyInto(FixtureFile(name.string() + ".frm"), folder / (stem + ".frm"));
    CopyInto(FixtureFile(name.string() + ".MYI"), folder / (stem + ".MYI"));
    PutInMemory(folder / (stem + ".MYD"), data, size);
    ReadEveryWindow(folder, name.filename().u16string(), nullptr);
    for (bool withIndex : {true, false}) {
        if (!withIndex) std::filesystem::remove(folder / (stem + ".MYI"));
        CDamageReport damage;
        CReadOptions options;
        options.windowRows = kFuzzWindowRows;
        options.damage = &damage;
        CTableRows table;
        table.Open(folder, name.filename().u16string(), App(), options);
        for (int windows = 1; windows < kFuzzWindows && table.ReadNextWindow(App()); ++windows) {
        }
    }
}

namespace {

// A column of a table's dictionary information: INT or VARCHAR(20) latin1.
std::string SdiColumn(const std::string& name, bool varchar, bool nullable,
                      const std::string& privateData, int hidden = 1) {
    return R"({"name":")" + name + R"(","type":)" + (varchar ? "16" : "4") + R"(,"char_length":)" +
           (varchar ? "20" : "11") + R"(,"is_nullable":)" + (nullable ? "true" : "false") +
           R"(,"is_virtual":false,"hidden":)" + std::to_string(hidden) +
           R"(,"collation_id":8,"se_private_data":")" + privateData + R"("})";
}

// (id INT PRIMARY KEY, a VARCHAR NULL), to which b, c and d were added before
// 8.0.29 and, with versions, e added and f added and dropped since.
std::string InstantLayoutJson(bool versions, int rowFormat) {
    const auto place = [&](int pos, const std::string& rest) {
        return (versions ? "physical_pos=" + std::to_string(pos) + ";" : std::string()) + rest;
    };
    std::string columns = SdiColumn("id", false, false, place(0, "")) + "," +
                          SdiColumn("a", true, true, place(3, "")) + "," +
                          SdiColumn("b", false, false, place(4, "default=8000002a;")) + "," +
                          SdiColumn("c", true, true, place(5, "default_null=1;")) + "," +
                          SdiColumn("d", true, false, place(6, "default=64666c74;"));
    if (versions)
        columns += "," + SdiColumn("e", false, true, place(7, "default=80000005;version_added=1;"));
    columns += "," + SdiColumn("DB_TRX_ID", false, false, place(1, ""), 2) + "," +
               SdiColumn("DB_ROLL_PTR", false, false, place(2, ""), 2);
    if (versions)
        columns += "," + SdiColumn("!hidden!_dropped_v2_p8_f", false, true,
                                   place(8, "version_added=1;version_dropped=2;"), 2);
    return R"({"mysqld_version_id":80400,"dd_object_type":"Table","dd_object":{)"
           R"("name":"grown","schema_ref":"db","engine":"InnoDB","collation_id":8,"row_format":)" +
           std::to_string(rowFormat) + R"(,"se_private_data":"instant_col=2;","columns":[)" +
           columns +
           R"(],"indexes":[{"name":"PRIMARY","type":1,"hidden":false,"elements":[)"
           R"({"column_opx":0,"length":4,"order":2,"hidden":false}],)"
           R"("se_private_data":"id=77;root=3;space_id=5;table_id=1;"}]}})";
}

}  // namespace

void ReadInstantLayouts(uint8_t variant, const uint8_t* data, size_t size, bool deleted) {
    CAppState& app = App();
    const bool versions = (variant & 1) != 0;
    const uint32_t counts[] = {2, 0, 3};
    const uint32_t columnsBefore = counts[(variant >> 1) % 3];
    CTableDef table;
    SdiTableInfo info;
    std::string problem;
    if (!TableDefFromSdi(InstantLayoutJson(versions, (variant & 8) ? 4 : 2), app, table, info,
                         problem))
        return;
    const std::filesystem::path file = ScratchDir() / "instant.ibd";
    PutInMemory(file, data, size);
    auto space = std::make_shared<CTablespace>();
    if (!space->Open(file)) return;
    CWindowState window;
    CDamageReport damage;
    CReadOptions options;
    options.windowRows = kFuzzWindowRows;
    options.damage = &damage;
    options.deleted = deleted;
    CInnoTableReader inno(table, window, options);
    BuildColumnsFromFrm(inno, app);
    if (!ApplyInPlaceLayout(inno, info.rowVersions, info.instantColumns, columnsBefore, app))
        return;
    inno.space = space;
    inno.perTableSource = true;
    inno.fileName = space->pathText();
    window.rows.Reset(table.columns.size());
    window.bookmarks.push_back(RecordBookmark{deleted ? 0u : 3u, 0});
    if (deleted) {
        FillDeletedWindow(inno, *space, 0, 0, true, app);
        return;
    }
    FillRowWindow(inno, *space, 3, 0, false, app);
    for (int windows = 1; windows < kFuzzWindows && ReadNextInnoWindow(inno, app); ++windows) {
    }
}

}  // namespace brix::fuzz
