#include "myisam/myisam_row.h"

#include <algorithm>

#include "app/app_state.h"

namespace brix {

namespace {

ByteSpan Slice(ByteSpan image, size_t offset, size_t n) {
    if (offset >= image.size()) return {};
    return image.subspan(offset, std::min(n, image.size() - offset));
}

}  // namespace

CMyIsamRowRenderer::CMyIsamRowRenderer(const CTableDef& table,
                                       const std::vector<CMyisamColumnDef>& entries,
                                       const CAppState& app, bool exportMode)
    : context_{&app.decoders(), table.allEnumValues, exportMode} {
    nullBytes_ = static_cast<size_t>(std::max(table.nullBytes, 0));
    imageLength_ = static_cast<size_t>(std::max(table.recordLength, 0));
    uint32_t entriesEnd = 0;
    for (const CMyisamColumnDef& e : entries)
        entriesEnd = std::max<uint32_t>(entriesEnd, e.offset + e.myisamLength);
    imageLength_ = std::max<size_t>({imageLength_, entriesEnd, nullBytes_});

    for (const CColumnDef& c : table.columns) {
        Place p;
        p.offset = c.recordPos > 0 ? static_cast<size_t>(c.recordPos - 1) : 0;
        if (c.nullFlagBit >= 0) {
            p.nullByte = c.nullFlagBit / 8;
            p.nullMask = static_cast<uint8_t>(1u << (c.nullFlagBit % 8));
        }
        if (c.type == FieldType::kVarchar) {
            p.access = Access::kVarchar;
            p.width = c.length > 255 ? 2 : 1;
        } else if (IsBlobType(c.type) || c.type == FieldType::kGeometry ||
                   c.type == FieldType::kJson) {
            p.access = Access::kBlob;
            p.width = BlobLengthBytes(c.type);
            int32_t slot = 0;
            for (const CMyisamColumnDef& e : entries) {
                if (e.myisamType != 4) continue;
                if (e.offset == p.offset) p.blobSlot = slot;
                ++slot;
            }
        } else if (c.type == FieldType::kBit) {
            p.access = Access::kBit;
            const int bits = std::clamp(c.length, 0, 64);
            p.width =
                c.bitAsChar ? static_cast<size_t>((bits + 7) / 8) : static_cast<size_t>(bits / 8);
            if (c.extraBitsAt >= 0 && !c.bitAsChar) {
                p.bitsByte = c.extraBitsAt / 8;
                p.bitsShift = static_cast<uint8_t>(c.extraBitsAt % 8);
                p.bitsCount = static_cast<uint8_t>(bits & 7);
            }
        } else {
            p.width = StoredValueWidth(c);
        }
        places_.push_back(p);
    }
}

bool CMyIsamRowRenderer::LengthsFit(const CTableDef& table, ByteSpan image) const {
    const ByteSpan nullFlags = image.first(std::min(nullBytes_, image.size()));
    for (size_t i = 0; i < places_.size(); ++i) {
        const Place& p = places_[i];
        if (p.access != Access::kVarchar) continue;
        if (p.nullByte >= 0 &&
            ApplyNullFlag(nullFlags, static_cast<size_t>(p.nullByte), p.nullMask))
            continue;
        const size_t length = LoadUIntLe(image, p.offset, p.width);
        if (length > static_cast<size_t>(std::max(table.columns[i].length, 0))) return false;
    }
    return true;
}

void CMyIsamRowRenderer::AppendRow(const CTableDef& table, CRowWindow& window, ByteSpan image,
                                   std::span<const ByteSpan> blobs) const {
    window.BeginRow();
    const ByteSpan nullFlags = image.first(std::min(nullBytes_, image.size()));
    std::u16string& out = window.arena();
    for (size_t i = 0; i < places_.size(); ++i) {
        const Place& p = places_[i];
        const CColumnDef& column = table.columns[i];
        if (p.nullByte >= 0 &&
            ApplyNullFlag(nullFlags, static_cast<size_t>(p.nullByte), p.nullMask)) {
            window.SetNull(i);
            continue;
        }
        ByteSpan bytes;
        uint8_t bitValue[9];
        switch (p.access) {
            case Access::kPlain:
                bytes = Slice(image, p.offset, p.width);
                break;
            case Access::kVarchar: {
                const size_t length = LoadUIntLe(image, p.offset, p.width);
                const size_t limit = static_cast<size_t>(std::max(column.length, 0));
                bytes = Slice(image, p.offset + p.width, std::min(length, limit));
                break;
            }
            case Access::kBlob:
                if (p.blobSlot >= 0 && static_cast<size_t>(p.blobSlot) < blobs.size())
                    bytes = blobs[static_cast<size_t>(p.blobSlot)];
                break;
            case Access::kBit: {
                // The leftover bits are the value's top bits; the whole bytes
                // follow, big-endian.
                size_t n = 0;
                if (p.bitsCount > 0) {
                    const uint32_t pair = LoadU8(nullFlags, static_cast<size_t>(p.bitsByte)) |
                                          LoadU8(nullFlags, static_cast<size_t>(p.bitsByte) + 1)
                                              << 8;
                    bitValue[n++] =
                        static_cast<uint8_t>((pair >> p.bitsShift) & ((1u << p.bitsCount) - 1));
                }
                for (size_t b = 0; b < p.width && n < sizeof bitValue; ++b)
                    bitValue[n++] = LoadU8(image, p.offset + b);
                bytes = ByteSpan(bitValue, n);
                break;
            }
        }
        const size_t start = out.size();
        const bool isNull = RenderMyIsamValue(column, bytes, context_, out);
        window.SetCell(i, start, isNull);
    }
}

}  // namespace brix
