#include "myisam/myisam_reader.h"

#include <system_error>

#include "app/app_state.h"
#include "app/file_names.h"
#include "myisam/dynamic_rows.h"
#include "myisam/fixed_rows.h"
#include "myisam/packed_rows.h"

namespace brix {

namespace {

bool ReadWindowFrom(CMyisamTableReader& reader, uint64_t start, bool wantBookmark,
                    const CAppState& app) {
    uint64_t fileLength = reader.dataFile.Length();
    bool ok = true;
    switch (reader.header.myisamRowFormat) {
        case 0:
            ok = ReadFixedRowWindow(reader, start, fileLength, wantBookmark, app);
            break;
        case 1:
            ok = ReadDynamicRowWindow(reader, start, fileLength, wantBookmark, app);
            break;
        default: {
            // Packed records end where the index file says the data does;
            // the bytes after it are padding that decodes as nothing.
            const int64_t dataLength = reader.header.dataFileLength;
            if (dataLength >= 0 && static_cast<uint64_t>(dataLength) < fileLength)
                fileLength = static_cast<uint64_t>(dataLength);
            ok = ReadPackedRowWindow(reader, start, fileLength, wantBookmark, app);
            break;
        }
    }
    if (!ok) reader.Report(-1, DamageWhat::kFile, "data file cannot be read");
    return ok;
}

}  // namespace

void CMyisamTableReader::Report(int64_t offset, DamageWhat what, std::string why, int64_t rowsLost,
                                bool rowsStillRead) {
    if (!options.damage) return;
    reported_.Report(options.damage, PathUtf8(dataPath), offset, what, std::move(why), rowsLost,
                     rowsStillRead);
}

void CMyisamTableReader::ReportFile(const std::filesystem::path& file, DamageWhat what,
                                    std::string why, int64_t rowsLost, bool rowsStillRead) {
    if (!options.damage) return;
    DamageFinding finding;
    finding.file = PathUtf8(file);
    finding.what = what;
    finding.why = std::move(why);
    finding.rowsLost = rowsLost;
    finding.rowsStillRead = rowsStillRead;
    options.damage->Report(std::move(finding));
}

bool ReadFirstMyIsamWindow(CMyisamTableReader& reader, const std::filesystem::path& path,
                           const CAppState& app) {
    CWindowState& window = reader.window;
    window.rows.Reset(reader.table.columns.size());
    reader.dataPath = path;
    const int64_t rows = reader.header.records;
    if (!reader.dataFile.Open(path)) {
        std::error_code ec;
        const bool missing = path.empty() || !std::filesystem::exists(path, ec);
        reader.Report(-1, DamageWhat::kFile,
                      missing ? "data file missing" : "data file cannot be read", rows);
        return true;
    }
    window.windowFull = false;
    window.bookmarks.push_back({0, 0});
    // A data file cut short loses its last rows without a trace in what is
    // left of it; the index file's state says how long it was.
    const int64_t expected = reader.header.dataFileLength;
    const int64_t actual = static_cast<int64_t>(reader.dataFile.Length());
    if (expected > actual) {
        const uint32_t slot = reader.header.packRecLength;
        const int64_t lost = reader.header.myisamRowFormat == 0 && slot > 0
                                 ? (expected - actual + slot - 1) / slot
                                 : -1;
        reader.Report(actual, DamageWhat::kFile,
                      "data file is shorter than the index file says: " + std::to_string(actual) +
                          " of " + std::to_string(expected) + " bytes",
                      lost);
    }
    // Without its index file a packed table is known by its data file,
    // whose header also gives what the definition alone cannot.
    uint8_t magic[kPackedFixedHeadSize] = {};
    const size_t got = reader.dataFile.ReadAt(0, magic, sizeof magic);
    if (reader.header.records < 0 && LooksPackedDataFile(ByteSpan(magic, got)))
        reader.header.myisamRowFormat = 2;
    reader.packed.reset();
    if (reader.header.myisamRowFormat == 2) {
        std::string why;
        if (!LoadPackedLayout(reader, why)) {
            reader.Report(0, DamageWhat::kFile, why, rows);
            return !reader.dataFile.Failed();
        }
    }
    return ReadWindowFrom(reader, 0, true, app);
}

bool OpenMyIsamTable(CMyisamTableReader& reader, const std::filesystem::path& myi,
                     const std::filesystem::path& myd, const CAppState& app) {
    std::string unusable;
    ReadMyisamHeader(reader.table, reader.header, myi, &unusable);
    if (!unusable.empty()) {
        MyisamHeaderFromDefinition(reader.table, reader.header);
        reader.ReportFile(
            myi, DamageWhat::kFile,
            unusable == "missing"
                ? "index file missing; rows read from the data file alone"
                : "index file unusable: " + unusable + "; rows read from the data file alone",
            -1, true);
    }
    return ReadFirstMyIsamWindow(reader, myd, app);
}

bool ReadMyIsamWindowAt(CMyisamTableReader& reader, int64_t origin, bool wantBookmark,
                        const CAppState& app) {
    reader.window.rows.Reset(reader.table.columns.size());
    reader.window.windowFull = false;
    if (!reader.dataFile.IsOpen() || origin < 0) return true;
    return ReadWindowFrom(reader, static_cast<uint64_t>(origin), wantBookmark, app);
}

}  // namespace brix
