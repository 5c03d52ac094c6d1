#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "app/byte_reader.h"

namespace brix {

// The meta file (.CSM) beside a CSV table's data file: a marker byte, the
// format version, then four little-endian 64-bit counters (rows, and three
// the server keeps zero) and the byte that marks the table crashed.
inline constexpr uint8_t kCsvMetaMarker = 254;
inline constexpr size_t kCsvMetaRowsPos = 1 + 1;
inline constexpr size_t kCsvMetaCrashedPos = kCsvMetaRowsPos + 8 + 8 + 8 + 8;
inline constexpr size_t kCsvMetaSize = kCsvMetaCrashedPos + 1;

struct CsvMeta {
    // The file exists and could be read.
    bool present = false;
    // It is long enough and starts with the marker byte.
    bool valid = false;
    uint8_t version = 0;
    // The rows the server counted when it last closed the table.
    uint64_t rows = 0;
    // The server marks the table crashed while it writes to it and after it
    // met a line it could not read; a clean close clears the mark.
    bool crashed = false;
};

// Reads the meta file at path (read-only). A missing file gives present
// false; a short or foreign one valid false.
CsvMeta ReadCsvMeta(const std::filesystem::path& path);
// The same for the file's bytes.
CsvMeta ParseCsvMeta(ByteSpan bytes);

// How a line of the data file splits into fields.
enum class CsvLineStatus {
    kOk,
    // The line ends before the table's last column.
    kFewerFields,
    // A field that starts with a quote has no closing quote before the line
    // ends.
    kQuoteNeverEnds,
    // A field without quotes ends the line with a quote.
    kStrayQuote,
};

// One line of a CSV data file split into the values of its fields: the
// bytes of every field, escapes undone, one after another, and where each
// ends. Kept between lines so that splitting allocates nothing once the
// buffers have grown to the longest line.
struct CsvFields {
    std::vector<uint8_t> bytes;
    std::vector<size_t> ends;
    // Bytes after the last column's field: the line has more fields than the
    // table has columns (the server reads such a line and ignores them).
    bool extra = false;

    size_t count() const { return ends.size(); }
    ByteSpan Field(size_t i) const {
        const size_t begin = i == 0 ? 0 : ends[i - 1];
        return ByteSpan(bytes.data() + begin, ends[i] - begin);
    }
};

// Splits line (without its line end) into columns fields as the server reads
// them: fields separated by commas; a field that starts with a quote ends at
// a quote followed by a comma or by the end of the line; in both kinds a
// backslash before r, n, a backslash or a quote stands for that byte (r and
// n for CR and LF), before any other byte it is kept with it. Never reads
// outside line; fields holds what was split so far on failure.
CsvLineStatus SplitCsvLine(ByteSpan line, size_t columns, CsvFields& fields);

// Where the line that starts at pos of bytes ends: the position of its line
// end (LF, CR, or CR LF, all of which the server takes as one) and that
// end's length. lineEnd is bytes.size() and endLength 0 when the bytes hold
// no line end.
void FindCsvLineEnd(ByteSpan bytes, size_t pos, size_t& lineEnd, size_t& endLength);

}  // namespace brix
