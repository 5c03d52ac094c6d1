#include "innodb/record.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/text.h"
#include "innodb/blob.h"

namespace brix {

namespace {

constexpr uint32_t kCompactExtraBytes = 5;
constexpr uint8_t kStatusInstant = 4;

}  // namespace

CInnoRecordDecoder::CInnoRecordDecoder(CTableDef& table, CAppState& app)
    : table_(table), app_(app), fields_(table.inno.physicalColumns) {
    context_.decoders = &app.decoders();
    context_.allEnumValues = table.allEnumValues;
    context_.exportMode = app.ExportMode();
    context_.blobsInFull = true;
    nullableBefore_.assign(fields_.size() + 1, 0);
    for (size_t i = 0; i < fields_.size(); ++i)
        nullableBefore_[i + 1] = nullableBefore_[i] + (fields_[i].nullable() ? 1 : 0);
}

size_t CInnoRecordDecoder::NullBitmapBytes(size_t fields) const {
    return (nullableBefore_[std::min(fields, fields_.size())] + 7) / 8;
}

bool CInnoRecordDecoder::DecodeCompact(ByteSpan page, uint32_t origin, uint32_t span) {
    if (origin < kCompactExtraBytes || origin >= page.size()) return false;
    size_t header = origin - kCompactExtraBytes;  // header bytes lie below this, read downwards
    size_t present = fields_.size();
    if (table_.inno.coreFields != 0) {
        // A table changed in place: records written before the change hold
        // the core fields only; later ones say how many fields they add.
        present = table_.inno.coreFields;
        if (CompactRecordStatus(page, origin) == kStatusInstant) {
            if (header < 1) return false;
            size_t added = page[--header];
            if (added & 0x80) {
                if (header < 1) return false;
                added = (added & 0x7F) | static_cast<size_t>(page[--header]) << 7;
            }
            present = table_.inno.coreFields + 1 + added;
        }
        present = std::min(present, fields_.size());
    }
    const size_t bitmapBytes = NullBitmapBytes(present);
    if (header < bitmapBytes) return false;
    size_t nullByte = header - 1;
    unsigned nullBit = 0;
    size_t lengths = header - bitmapBytes;
    size_t data = origin;
    size_t consumed = 0;

    table_.rows.BeginRow();
    for (size_t i = 0; i < fields_.size(); ++i) {
        const CInnoColumnDef& field = fields_[i];
        if (i >= present) {
            RenderMissing(field);
            continue;
        }
        if (consumed >= span) continue;  // the record has no more data
        if (field.nullable()) {
            if (nullBit == 8) {
                --nullByte;
                nullBit = 0;
            }
            const bool isNull = (page[nullByte] >> nullBit & 1) != 0;
            ++nullBit;
            if (isNull) {
                if (field.position >= 0) table_.rows.SetNull(static_cast<size_t>(field.position));
                continue;
            }
        }
        size_t length = field.fixedLength;
        bool external = false;
        if (length == 0) {
            if (lengths < 1) {
                table_.rows.DropLastRow();
                return false;
            }
            const uint8_t b1 = page[--lengths];
            length = b1;
            if (field.big() && (b1 & 0x80)) {
                if (lengths < 1) {
                    table_.rows.DropLastRow();
                    return false;
                }
                const uint8_t b2 = page[--lengths];
                length = (static_cast<size_t>(b1) << 8 | b2) & 0x3FFF;
                external = (b1 & 0x40) != 0;
            }
        }
        if (length > page.size() - data) {
            table_.rows.DropLastRow();
            return false;
        }
        Render(field, page.subspan(data, length), external);
        data += length;
        consumed += length;
    }
    return true;
}

bool CInnoRecordDecoder::DecodeRedundant(ByteSpan page, uint32_t origin) {
    if (!ReadRedundantFields(page, origin, redundant_)) return false;
    table_.rows.BeginRow();
    for (size_t i = 0; i < fields_.size(); ++i) {
        const CInnoColumnDef& field = fields_[i];
        if (i >= redundant_.size()) {
            RenderMissing(field);
            continue;
        }
        const RedundantField& f = redundant_[i];
        if (f.null) {
            if (field.position >= 0) table_.rows.SetNull(static_cast<size_t>(field.position));
            continue;
        }
        Render(field, page.subspan(f.start, f.length), f.external);
    }
    return true;
}

void CInnoRecordDecoder::Render(const CInnoColumnDef& field, ByteSpan bytes, bool external) {
    if (field.position < 0 || static_cast<size_t>(field.position) >= table_.columns.size()) return;
    const size_t position = static_cast<size_t>(field.position);
    const CColumnDef& column = table_.columns[position];
    std::u16string& out = table_.rows.arena();
    const size_t start = out.size();
    if (external) {
        // Off-page data: a placeholder on screen, the whole value in a spill
        // file when exporting.
        if (!context_.exportMode) {
            out += kLargeSizeBlobText;
        } else if (table_.inno.space) {
            const std::filesystem::path path = SpillExternalColumn(*table_.inno.space, bytes, app_);
            if (!path.empty()) {
                const std::u8string text = path.u8string();
                AppendUtf8(out,
                           ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
                table_.rows.SetCell(position, start, false);
                table_.rows.MarkSpilled(position);
                return;
            }
        }
        table_.rows.SetCell(position, start, false);
        return;
    }
    if (field.mainType == InnoType::kInt) {
        // Integers are stored big-endian, signed ones with the sign bit
        // inverted so that they sort as unsigned bytes.
        scratch_.assign(bytes.rbegin(), bytes.rend());
        if (!scratch_.empty() && !(field.preciseType & InnoFlag::kUnsigned))
            scratch_.back() ^= 0x80;
        bytes = scratch_;
    }
    const bool isNull = RenderMyIsamValue(column, bytes, context_, out);
    table_.rows.SetCell(position, start, isNull);
}

void CInnoRecordDecoder::RenderMissing(const CInnoColumnDef&) {}

}  // namespace brix
