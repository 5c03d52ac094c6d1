#include "csv/csv_format.h"

#include <algorithm>

#include "app/read_only_file.h"

namespace brix {

CsvMeta ParseCsvMeta(ByteSpan bytes) {
    CsvMeta meta;
    meta.present = true;
    if (bytes.size() < kCsvMetaSize || bytes[0] != kCsvMetaMarker) return meta;
    meta.valid = true;
    meta.version = bytes[1];
    meta.rows = LoadUIntLe(bytes, kCsvMetaRowsPos, 8);
    meta.crashed = bytes[kCsvMetaCrashedPos] != 0;
    return meta;
}

CsvMeta ReadCsvMeta(const std::filesystem::path& path) {
    CReadOnlyFile file;
    if (path.empty() || !file.Open(path)) return {};
    uint8_t head[kCsvMetaSize] = {};
    const size_t got = file.ReadAt(0, head, sizeof head);
    return ParseCsvMeta(ByteSpan(head, got));
}

namespace {

// Appends the byte a backslash escape at line[pos] (the byte after the
// backslash) stands for.
void AppendEscaped(std::vector<uint8_t>& out, uint8_t escaped) {
    switch (escaped) {
        case 'r':
            out.push_back('\r');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case '\\':
        case '"':
            out.push_back(escaped);
            break;
        default:
            // Only a file written by hand has these: the server keeps both.
            out.push_back('\\');
            out.push_back(escaped);
            break;
    }
}

}  // namespace

CsvLineStatus SplitCsvLine(ByteSpan line, size_t columns, CsvFields& fields) {
    fields.bytes.clear();
    fields.ends.clear();
    fields.extra = false;
    const size_t n = line.size();
    size_t pos = 0;
    for (size_t column = 0; column < columns; ++column) {
        if (pos >= n) return CsvLineStatus::kFewerFields;
        if (line[pos] == '"') {
            ++pos;
            bool closed = false;
            for (; pos < n; ++pos) {
                const uint8_t c = line[pos];
                if (c == '"' && (pos + 1 == n || line[pos + 1] == ',')) {
                    pos += 2;
                    closed = true;
                    break;
                }
                if (c == '\\' && pos + 1 < n) {
                    AppendEscaped(fields.bytes, line[++pos]);
                } else {
                    if (pos + 1 == n) return CsvLineStatus::kQuoteNeverEnds;
                    fields.bytes.push_back(c);
                }
            }
            if (!closed) return CsvLineStatus::kQuoteNeverEnds;
        } else {
            for (; pos < n; ++pos) {
                const uint8_t c = line[pos];
                if (c == ',') {
                    ++pos;
                    break;
                }
                if (c == '\\' && pos + 1 < n) {
                    AppendEscaped(fields.bytes, line[++pos]);
                } else {
                    if (pos + 1 == n && c == '"') return CsvLineStatus::kStrayQuote;
                    fields.bytes.push_back(c);
                }
            }
        }
        fields.ends.push_back(fields.bytes.size());
    }
    fields.extra = pos < n;
    return CsvLineStatus::kOk;
}

void FindCsvLineEnd(ByteSpan bytes, size_t pos, size_t& lineEnd, size_t& endLength) {
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(pos, bytes.size()));
    const auto end =
        std::find_if(begin, bytes.end(), [](uint8_t b) { return b == '\n' || b == '\r'; });
    lineEnd = static_cast<size_t>(end - bytes.begin());
    endLength = 0;
    if (end == bytes.end()) return;
    endLength = *end == '\r' && end + 1 != bytes.end() && end[1] == '\n' ? 2 : 1;
}

}  // namespace brix
