#include "csv/csv_reader.h"

#include <algorithm>
#include <system_error>

#include "app/app_state.h"
#include "app/file_names.h"
#include "csv/csv_value.h"

namespace brix {

namespace {

// Bytes the reader asks the file for at a time; a longer line grows the
// buffer, up to kCsvMaxLineBytes.
constexpr size_t kCsvBlockBytes = size_t{1} << 20;

// What looking for the line at a position found.
enum class LineFound { kLine, kNoLineEnd, kTooLong, kReadFailed };

// Fills the reader's buffer with the file's bytes from pos on.
bool FillBuffer(CCsvTableReader& reader, uint64_t pos, size_t size) {
    if (reader.buffer.size() < size) reader.buffer.resize(size);
    reader.bufferStart = pos;
    reader.bufferLength = reader.dataFile.ReadAt(pos, reader.buffer.data(), size);
    return !reader.dataFile.Failed();
}

// Finds the line that starts at pos (< fileLength): its bytes without the
// line end, and where the next line starts. A line longer than
// kCsvMaxLineBytes is passed over to its end without being held.
LineFound FindLine(CCsvTableReader& reader, uint64_t pos, uint64_t fileLength, ByteSpan& line,
                   uint64_t& next) {
    size_t size = std::max(reader.buffer.size(), kCsvBlockBytes);
    for (;;) {
        const bool inBuffer =
            pos >= reader.bufferStart && pos < reader.bufferStart + reader.bufferLength;
        if (!inBuffer && !FillBuffer(reader, pos, size)) return LineFound::kReadFailed;
        if (reader.bufferLength == 0) return LineFound::kReadFailed;
        const ByteSpan bytes(reader.buffer.data(), reader.bufferLength);
        const size_t from = static_cast<size_t>(pos - reader.bufferStart);
        size_t lineEnd = 0;
        size_t endLength = 0;
        FindCsvLineEnd(bytes, from, lineEnd, endLength);
        const bool atFileEnd = reader.bufferStart + reader.bufferLength >= fileLength;
        // A CR that ends the buffer may be the first half of a CR LF.
        const bool whole = endLength != 0 && (lineEnd + endLength < bytes.size() || atFileEnd ||
                                              bytes[lineEnd] == '\n' || endLength == 2);
        if (whole) {
            line = bytes.subspan(from, lineEnd - from);
            next = reader.bufferStart + lineEnd + endLength;
            return LineFound::kLine;
        }
        if (atFileEnd) {
            line = bytes.subspan(from);
            next = fileLength;
            return LineFound::kNoLineEnd;
        }
        if (from > 0) {
            // The line goes on past the buffer: read again from its start.
            if (!FillBuffer(reader, pos, size)) return LineFound::kReadFailed;
            continue;
        }
        if (size >= kCsvMaxLineBytes) break;
        size = std::min(size * 2, kCsvMaxLineBytes);
        if (!FillBuffer(reader, pos, size)) return LineFound::kReadFailed;
    }
    // Too long: pass over it block by block. Each step moves on, so the
    // walk ends at the file's end at the latest.
    uint64_t at = pos + reader.bufferLength;
    while (at < fileLength) {
        if (!FillBuffer(reader, at, kCsvBlockBytes) || reader.bufferLength == 0)
            return LineFound::kReadFailed;
        const ByteSpan bytes(reader.buffer.data(), reader.bufferLength);
        size_t lineEnd = 0;
        size_t endLength = 0;
        FindCsvLineEnd(bytes, 0, lineEnd, endLength);
        if (endLength != 0) {
            next = at + lineEnd + endLength;
            return LineFound::kTooLong;
        }
        at += reader.bufferLength;
    }
    next = fileLength;
    return LineFound::kTooLong;
}

const char* SplitProblem(CsvLineStatus status) {
    switch (status) {
        case CsvLineStatus::kFewerFields:
            return "line has fewer fields than the table has columns";
        case CsvLineStatus::kQuoteNeverEnds:
            return "quoted field never ends";
        case CsvLineStatus::kStrayQuote:
            return "field without quotes ends in a quote";
        case CsvLineStatus::kOk:
            break;
    }
    return "";
}

// Appends the row of one line to the window; false, with nothing appended
// and why set, when the line is no row of the table.
bool AppendLineRow(CCsvTableReader& reader, ByteSpan line, const RenderContext& context,
                   std::string& why) {
    const size_t columns = reader.table.columns.size();
    const CsvLineStatus status = SplitCsvLine(line, columns, reader.fields);
    if (status != CsvLineStatus::kOk) {
        why = SplitProblem(status);
        return false;
    }
    CRowWindow& rows = reader.window.rows;
    rows.BeginRow();
    for (size_t c = 0; c < columns; ++c) {
        const size_t start = rows.arena().size();
        if (!AppendCsvValue(reader.table.columns[c], reader.fields.Field(c), context,
                            reader.scratch, rows.arena())) {
            rows.DropLastRow();
            why = "value does not fit its column's type";
            return false;
        }
        // The engine has no NULL: every column is NOT NULL.
        rows.SetCell(c, start, false);
    }
    return true;
}

}  // namespace

void CCsvTableReader::Report(int64_t offset, DamageWhat what, std::string why, int64_t rowsLost,
                             bool rowsStillRead) {
    if (!options.damage) return;
    reported_.Report(options.damage, PathUtf8(dataPath), offset, what, std::move(why), rowsLost,
                     rowsStillRead);
}

bool OpenCsvTable(CCsvTableReader& reader, const std::filesystem::path& csv,
                  const std::filesystem::path& csm, const CAppState& app) {
    CWindowState& window = reader.window;
    window.rows.Reset(reader.table.columns.size());
    window.windowFull = false;
    reader.dataPath = csv;
    reader.meta = ReadCsvMeta(csm);
    if (reader.meta.present && reader.options.damage) {
        // The rows are read all the same: the meta file holds no row.
        DamageFinding finding;
        finding.file = PathUtf8(csm);
        finding.offset = -1;
        finding.what = reader.meta.valid ? DamageWhat::kTable : DamageWhat::kFile;
        finding.why = !reader.meta.valid
                          ? "meta file is damaged; rows read from the data file alone"
                          : "table is marked crashed";
        finding.rowsStillRead = true;
        if (!reader.meta.valid || reader.meta.crashed)
            reader.options.damage->Report(std::move(finding));
    }
    if (!reader.dataFile.Open(csv)) {
        std::error_code ec;
        const bool missing = csv.empty() || !std::filesystem::exists(csv, ec);
        reader.Report(-1, DamageWhat::kFile,
                      missing ? "data file missing" : "data file cannot be read",
                      reader.meta.valid ? static_cast<int64_t>(reader.meta.rows) : -1);
        return true;
    }
    window.bookmarks.push_back({0, 0});
    return ReadCsvWindowAt(reader, 0, true, app);
}

bool ReadCsvWindowAt(CCsvTableReader& reader, int64_t origin, bool wantBookmark,
                     const CAppState& app) {
    CWindowState& window = reader.window;
    window.rows.Reset(reader.table.columns.size());
    window.windowFull = false;
    if (!reader.dataFile.IsOpen() || origin < 0) return true;
    RenderContext context{&app.decoders(), reader.table.allEnumValues, reader.options.exportMode};
    const uint64_t fileLength = reader.dataFile.Length();
    const uint64_t start = static_cast<uint64_t>(origin);
    const size_t windowRows = std::max<size_t>(reader.options.windowRows, 1);
    std::string why;
    for (uint64_t pos = start; pos < fileLength;) {
        ByteSpan line;
        uint64_t next = fileLength;
        const LineFound found = FindLine(reader, pos, fileLength, line, next);
        const auto at = static_cast<int64_t>(pos);
        if (found == LineFound::kReadFailed) {
            reader.Report(at, DamageWhat::kFile, "data file cannot be read");
            return false;
        }
        if (found == LineFound::kTooLong) {
            reader.Report(at, DamageWhat::kRecord,
                          "line is longer than " + std::to_string(kCsvMaxLineBytes >> 20) + " MiB",
                          1);
        } else if (found == LineFound::kNoLineEnd) {
            // The server reads no line without its end: the file was cut
            // while the row was written.
            reader.Report(at, DamageWhat::kRecord, "file ends in the middle of a line", 1);
        } else if (!AppendLineRow(reader, line, context, why)) {
            reader.Report(at, DamageWhat::kRecord, why, 1);
        } else if (reader.fields.extra) {
            reader.Report(at, DamageWhat::kRecord,
                          "line has more fields than the table has columns", 0, true);
        }
        // Every line moves on by one byte at least: the loop ends.
        pos = std::max(next, pos + 1);
        if (pos < fileLength &&
            (window.rows.rowCount() >= windowRows || pos - start >= kWindowScanBytes)) {
            window.windowFull = true;
            if (wantBookmark) window.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
    }
    return !reader.dataFile.Failed();
}

}  // namespace brix
