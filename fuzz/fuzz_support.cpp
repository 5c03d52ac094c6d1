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

}  // namespace brix::fuzz
