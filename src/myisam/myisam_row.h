#pragma once

#include <span>
#include <vector>

#include "app/byte_reader.h"
#include "myisam/myisam_header.h"
#include "schema/table_def.h"
#include "values/row_window.h"
#include "values/value_render.h"

namespace brix {

class CAppState;

// Turns MyISAM row images into rows of the table's window. A row image is the
// record as the server holds it in memory: the null flags, then every field at
// its .frm record position. Fixed-length rows are row images as stored;
// dynamic records are unpacked into one first. Both row formats therefore
// share one way of finding a column's bytes, its NULL flag and the leftover
// bits of BIT columns, which live among the null flags.
class CMyIsamRowRenderer {
  public:
    // Places the columns of table by its .frm and the field entries of its
    // index file (none for a row image that did not come from a data file),
    // to render in export mode or display mode as asked.
    CMyIsamRowRenderer(const CTableDef& table, const std::vector<CMyisamColumnDef>& entries,
                       const CAppState& app, bool exportMode);

    // Bytes of a row image of this table.
    size_t imageLength() const { return imageLength_; }

    // Whether the lengths the image gives its VARCHAR values stay within their
    // columns; a fixed-length row whose lengths do not is damaged.
    bool LengthsFit(const CTableDef& table, ByteSpan image) const;

    // Renders every column of the image into a new last row of window, which
    // holds rows of table's columns.
    // blobs holds the data of the BLOB-kind fields of a dynamic record, in the
    // order of their .MYI entries; fixed-length rows have none.
    void AppendRow(const CTableDef& table, CRowWindow& window, ByteSpan image,
                   std::span<const ByteSpan> blobs) const;

  private:
    enum class Access : uint8_t { kPlain, kVarchar, kBlob, kBit };
    struct Place {
        Access access = Access::kPlain;
        size_t offset = 0;
        size_t width = 0;  // plain and BIT: whole bytes; VARCHAR and BLOB: length bytes
        int32_t nullByte = -1;
        uint8_t nullMask = 0;
        int32_t bitsByte = -1;  // BIT: leftover bits among the null flags
        uint8_t bitsShift = 0;
        uint8_t bitsCount = 0;
        int32_t blobSlot = -1;  // index of the field among the record's blobs
    };

    RenderContext context_;
    std::vector<Place> places_;
    size_t imageLength_ = 0;
    size_t nullBytes_ = 0;
};

}  // namespace brix
