#include "myisam/deleted_rows.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/block_reader.h"
#include "myisam/block_header.h"
#include "myisam/dynamic_rows.h"
#include "myisam/myisam_row.h"
#include "values/value_plausibility.h"

namespace brix {

namespace {

// The index file's header: version (4), options (2), header length (2),
// state length (2), base length (2), then where the base information starts.
constexpr size_t kBasePosAt = 4 + 2 + 2 + 2 + 2;
// The base information: five 8-byte numbers (key start, longest data file,
// longest index file, records, reloc), eight 4-byte ones (mean row length,
// record length, packed record length, shortest and longest packed length,
// shortest block, fields, packed fields), then the record-reference length.
constexpr size_t kRecRefLengthAt = 5 * 8 + 8 * 4;
// A link is at most this long.
constexpr uint32_t kLongestLink = 8;

// Where each column lies in a fixed-length row image: from its record
// position to the next column's (or the record's end).
struct ColumnExtent {
    size_t begin = 0;
    size_t end = 0;
};

std::vector<ColumnExtent> ColumnExtents(const CTableDef& table, size_t imageLength) {
    std::vector<ColumnExtent> extents(table.columns.size());
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const CColumnDef& c = table.columns[i];
        size_t width = StoredValueWidth(c);
        if (c.type == FieldType::kVarchar) width += static_cast<size_t>(std::max(c.length, 0));
        const size_t begin = static_cast<size_t>(std::max(c.recordPos - 1, 0));
        extents[i] =
            ColumnExtent{std::min(begin, imageLength), std::min(begin + width, imageLength)};
    }
    return extents;
}

// The value bytes of column in a fixed-length image: VARCHAR data after its
// length, everything else as wide as its type. False when they do not fit.
bool FixedValueBytes(const CColumnDef& column, const ColumnExtent& extent, ByteSpan image,
                     ByteSpan& bytes) {
    const size_t width = StoredValueWidth(column);
    if (extent.begin + width > image.size()) return false;
    if (column.type != FieldType::kVarchar) {
        bytes = image.subspan(extent.begin, width);
        return true;
    }
    const size_t length = LoadUIntLe(image, extent.begin, width);
    if (length > static_cast<size_t>(std::max(column.length, 0)) ||
        extent.begin + width + length > image.size())
        return false;
    bytes = image.subspan(extent.begin + width, length);
    return true;
}

void AppendUnknownNames(const CTableDef& table, const DeletedImage& what, std::u16string& out) {
    bool first = true;
    for (size_t i = 0; i < table.columns.size() && i < what.unknown.size(); ++i) {
        if (!what.unknown[i]) continue;
        if (!first) out += u',';
        out += table.columns[i].name;
        first = false;
    }
}

// Appends the rendered row of a deleted image and its two cells.
void AppendDeletedRow(CMyisamTableReader& myisam, const CMyIsamRowRenderer& renderer,
                      ByteSpan image, const DeletedImage& what, std::u16string_view source) {
    const CTableDef& table = myisam.table;
    CRowWindow& rows = myisam.window.rows;
    renderer.AppendRow(table, rows, image, {});
    const size_t columns = table.columns.size();
    for (size_t i = 0; i < columns && i < what.unknown.size(); ++i)
        if (what.unknown[i]) rows.SetNull(i);
    std::u16string& arena = rows.arena();
    size_t start = arena.size();
    arena += source;
    rows.SetCell(columns, start, false);
    start = arena.size();
    AppendUnknownNames(table, what, arena);
    rows.SetCell(columns + 1, start, false);
}

bool ReadDeletedSlots(CMyisamTableReader& myisam, uint64_t start, uint32_t pointerLength,
                      bool wantBookmark, const CAppState& app) {
    const CTableDef& table = myisam.table;
    CWindowState& window = myisam.window;
    const uint64_t fileLength = myisam.dataFile.Length();
    const uint64_t recordLength = static_cast<uint64_t>(std::max(table.recordLength, 0));
    const uint32_t packed = myisam.header.packRecLength;
    const uint64_t stride = packed != 0 && packed < fileLength ? packed : recordLength;
    // Without the delete mark a deleted slot cannot be told from a row.
    if (stride == 0 || !table.ReservesDeleteMark()) return true;
    const CMyIsamRowRenderer renderer(table, myisam.header.myisamColumns, app,
                                      myisam.options.exportMode);
    CBlockReader reader(myisam.dataFile);
    std::vector<uint8_t> image;
    DeletedImage what;
    const size_t windowRows = myisam.options.windowRows;
    const uint64_t scanBytes = std::max<uint64_t>(kWindowScanBytes, 2 * windowRows * stride);
    for (uint64_t pos = start; pos + stride <= fileLength; pos += stride) {
        if (window.rows.rowCount() >= windowRows || pos - start >= scanBytes) {
            window.windowFull = true;
            if (wantBookmark) window.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
        // A live row has its delete mark set: nothing more is read of it.
        if (LoadU8(reader.Read(pos, 1), 0) != 0) continue;
        reader.ReadZeroFilled(pos, std::max<size_t>(stride, renderer.imageLength()), image);
        if (!PlausibleDeletedSlot(table, image, stride, fileLength, pointerLength, app, what))
            continue;
        AppendDeletedRow(myisam, renderer, image, what, u"deleted-slot");
    }
    return !myisam.dataFile.Failed();
}

// A deleted block: a type byte of 0, its length (3 bytes) and the links to
// the next and previous free blocks (8 each) took the first 20 bytes of the
// block, which held the header of the record's block (3 to 5 bytes: a
// record that fitted one block) and the record's first bytes. What follows
// is the rest of the record as the dynamic format packs it: the field flags,
// then each field, some of them with a length before them. The record can
// be read back from its first whole bytes on only when the fields before
// them have lengths that need no lost byte; the flags are lost, so every
// choice of them is tried. A choice counts when it parses to the end of the
// block and gives values the columns can hold; a column is shown only when
// every choice that counts reads the same bytes for it, so that what is
// shown follows from the bytes whichever choice was the server's.
constexpr uint32_t kFreeHeaderSize = 20;
// Header lengths of the blocks that hold a whole record: types 1 to 4.
constexpr uint32_t kRecordHeaderLengths[] = {3, 4, 5};
// Blocks are at least this long, in steps of 4; a block that kept unused
// bytes says so in its header (types 3 and 4), fewer than a free block's
// least length beside the header's own bytes.
constexpr uint32_t kMinBlockLength = 20;
constexpr uint32_t kBlockAlignment = 4;
constexpr uint32_t kMostUnusedBytes = kMinBlockLength + 3;
// Parses tried for one block at most, and readings that fit it: more is
// taken as ambiguity.
constexpr uint32_t kMostParseSteps = 50000;
constexpr uint32_t kMostSolutions = 8;

class CDeletedBlockParse {
  public:
    CDeletedBlockParse(const CTableDef& table, const CMyisamHeader& header, const CAppState& app)
        : table_(table), header_(header) {
        context_.decoders = &app.decoders();
        context_.allEnumValues = table.allEnumValues;
        // The column whose first byte each entry holds, if any.
        const auto& entries = header.myisamColumns;
        entryColumn_.assign(entries.size(), -1);
        for (size_t e = 0; e < entries.size(); ++e)
            for (size_t c = 0; c < table.columns.size(); ++c)
                if (!table.columns[c].isVirtual &&
                    static_cast<uint32_t>(std::max(table.columns[c].recordPos - 1, 0)) ==
                        entries[e].offset)
                    entryColumn_[e] = static_cast<int32_t>(c);
    }

    // Parses the block; true when at least one reading fits (and not too
    // many) and some column is known. record is then the record of the
    // first reading with its lost bytes rebuilt (the flags found, zeros for
    // the fields that were lost); what names the columns not known: those
    // in lost bytes, and those the readings do not all read alike.
    bool Parse(ByteSpan block, std::vector<uint8_t>& record, DeletedImage& what) {
        block_ = block;
        solutions_ = 0;
        found_.clear();
        steps_ = 0;
        for (const uint32_t h : kRecordHeaderLengths) {
            if (block.size() < kFreeHeaderSize || h > kFreeHeaderSize) continue;
            h_ = h;
            lost_ = kFreeHeaderSize - h;
            flags_.assign(header_.packBits, 0);
            known_.assign(header_.myisamColumns.size(), false);
            flagIndex_ = 0;
            starts_.assign(header_.myisamColumns.size(), 0);
            lengths_.assign(header_.myisamColumns.size(), 0);
            Step(0, header_.packBits);
            if (solutions_ > kMostSolutions || steps_ > kMostParseSteps) return false;
        }
        if (solutions_ == 0) return false;
        // Where several readings fit, a field is known only when every one
        // of them reads the same bytes for it.
        const Solution& base = found_.front();
        bestKnown_ = base.known;
        for (size_t e = 0; e < bestKnown_.size(); ++e)
            for (const Solution& other : found_)
                if (!other.known[e] || other.lengths[e] != base.lengths[e] ||
                    !std::equal(
                        block.begin() + static_cast<std::ptrdiff_t>(base.h + base.starts[e]),
                        block.begin() +
                            static_cast<std::ptrdiff_t>(base.h + base.starts[e] + base.lengths[e]),
                        block.begin() + static_cast<std::ptrdiff_t>(other.h + other.starts[e])))
                    bestKnown_[e] = false;
        record.assign(base.end, 0);
        std::copy(base.flags.begin(), base.flags.end(), record.begin());
        const size_t lost = kFreeHeaderSize - base.h;
        for (size_t i = lost; i < base.end; ++i) record[i] = block_[base.h + i];
        what.unknown.assign(table_.columns.size(), false);
        bool anyKnown = false;
        for (size_t c = 0; c < table_.columns.size(); ++c) {
            const CColumnDef& column = table_.columns[c];
            const bool lostValue =
                !EntryKnown(static_cast<size_t>(std::max(column.recordPos - 1, 0)));
            const bool lostFlag =
                column.nullFlagBit >= 0 && !EntryKnown(static_cast<size_t>(column.nullFlagBit) / 8);
            const bool lostBits =
                column.extraBitsAt >= 0 && !EntryKnown(static_cast<size_t>(column.extraBitsAt) / 8);
            what.unknown[c] = lostValue || lostFlag || lostBits;
            anyKnown = anyKnown || (!what.unknown[c] && !column.isVirtual);
        }
        return anyKnown && !std::all_of(record.begin() + static_cast<std::ptrdiff_t>(lost),
                                        record.end(), [](uint8_t b) { return b == 0; });
    }

  private:
    // The record's byte at i, known from lost_ on.
    bool Byte(size_t i, uint8_t& b) const {
        if (i < lost_ || h_ + i >= block_.size()) return false;
        b = block_[h_ + i];
        return true;
    }
    bool Known(size_t at, size_t length) const {
        return at >= lost_ && h_ + at + length <= block_.size();
    }
    ByteSpan Bytes(size_t at, size_t length) const { return block_.subspan(h_ + at, length); }

    bool EntryKnown(size_t imageByte) const {
        const auto& entries = header_.myisamColumns;
        for (size_t e = 0; e < entries.size(); ++e)
            if (imageByte >= entries[e].offset &&
                imageByte < entries[e].offset + entries[e].myisamLength)
                return bestKnown_[e];
        return false;
    }

    bool Plausible(size_t entry, ByteSpan bytes) {
        if (entryColumn_[entry] < 0) return true;
        return PlausibleStoredValue(table_.columns[static_cast<size_t>(entryColumn_[entry])], bytes,
                                    context_);
    }

    // Takes entry e on at record position pos.
    void Step(size_t e, size_t pos) {
        if (++steps_ > kMostParseSteps || solutions_ > kMostSolutions) return;
        const auto& entries = header_.myisamColumns;
        if (e == entries.size()) return End(pos);
        starts_[e] = pos;
        const CMyisamColumnDef& entry = entries[e];
        const size_t length = entry.myisamLength;
        const int kind = entry.myisamType;
        if (kind == MyisamFieldKind::kVarchar) {
            // One length byte below 255 (or for short fields), else 255 and
            // two bytes big-endian.
            uint8_t first = 0;
            if (!Byte(pos, first)) return;
            size_t data = first;
            size_t lengthBytes = 1;
            if (length > 256 && first == 255) {
                uint8_t hi = 0, lo = 0;
                if (!Byte(pos + 1, hi) || !Byte(pos + 2, lo)) return;
                data = static_cast<size_t>(hi) << 8 | lo;
                lengthBytes = 3;
            }
            const size_t prefix = length <= 256 ? 1 : 2;
            if (data + prefix > length || !Known(pos + lengthBytes, data)) return;
            if (!Plausible(e, Bytes(pos + lengthBytes, data))) return;
            return Take(e, pos + lengthBytes + data, true);
        }
        if (kind == MyisamFieldKind::kNormal || kind == MyisamFieldKind::kCheck) {
            const bool known = Known(pos, length);
            if (known && !Plausible(e, Bytes(pos, length))) return;
            return Take(e, pos + length, known);
        }
        // A flagged field: its flag bit, lost or read.
        const size_t bit = flagIndex_++;
        const size_t flagByte = bit / 8;
        const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
        uint8_t stored = 0;
        const bool flagKnown = Byte(flagByte, stored);
        for (const bool set : {false, true}) {
            if (flagKnown && ((stored & mask) != 0) != set) continue;
            if (flagByte < flags_.size()) {
                if (set) {
                    flags_[flagByte] |= mask;
                } else {
                    flags_[flagByte] &= static_cast<uint8_t>(~mask);
                }
            }
            Flagged(e, pos, set);
        }
        --flagIndex_;
    }

    void Flagged(size_t e, size_t pos, bool set) {
        const CMyisamColumnDef& entry = header_.myisamColumns[e];
        const size_t length = entry.myisamLength;
        const int kind = entry.myisamType;
        const bool spaces =
            kind == MyisamFieldKind::kSkipEndSpace || kind == MyisamFieldKind::kSkipPreSpace;
        if (set) {
            if (spaces) {
                uint8_t first = 0;
                if (!Byte(pos, first)) return;
                size_t data = first;
                size_t lengthBytes = 1;
                if (length >= 256 && (first & 0x80)) {
                    uint8_t second = 0;
                    if (!Byte(pos + 1, second)) return;
                    data = (first & 0x7Fu) + 128u * second;
                    lengthBytes = 2;
                }
                if (data >= length || !Known(pos + lengthBytes, data)) return;
                if (!Plausible(e, Bytes(pos + lengthBytes, data))) return;
                return Take(e, pos + lengthBytes + data, true);
            }
            // A zero or empty value: nothing stored, known where it stands
            // among known bytes.
            return Take(e, pos, pos >= lost_);
        }
        if (kind == MyisamFieldKind::kBlob) {
            const size_t lengthBytes = length >= 9 && length <= 12 ? length - 8 : 0;
            if (lengthBytes == 0 || !Known(pos, lengthBytes)) return;
            const uint64_t data = LoadUIntLe(Bytes(pos, lengthBytes), 0, lengthBytes);
            // An empty BLOB would have had its flag set.
            if (data == 0 || data > block_.size() || !Known(pos + lengthBytes, data)) return;
            if (!Plausible(e, Bytes(pos + lengthBytes, static_cast<size_t>(data)))) return;
            return Take(e, pos + lengthBytes + static_cast<size_t>(data), true);
        }
        const bool known = Known(pos, length);
        if (known) {
            const ByteSpan bytes = Bytes(pos, length);
            // The server sets the flag of a zero value, and of a value whose
            // spaces would save more than the length byte: without the flag
            // neither can be.
            if (kind == MyisamFieldKind::kSkipZero &&
                std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }))
                return;
            if (spaces && length > 1) {
                const uint8_t edge =
                    kind == MyisamFieldKind::kSkipEndSpace ? bytes[length - 1] : bytes[0];
                const uint8_t next =
                    kind == MyisamFieldKind::kSkipEndSpace ? bytes[length - 2] : bytes[1];
                if (edge == ' ' && next == ' ') return;
            }
            if (!Plausible(e, bytes)) return;
        }
        Take(e, pos + length, known);
    }

    void Take(size_t e, size_t next, bool known) {
        known_[e] = known;
        lengths_[e] = next - starts_[e];
        Step(e + 1, next);
    }

    // The record ends at pos: its block must be the deleted block, or the
    // deleted block must be no longer than the record's block could be.
    void End(size_t pos) {
        const size_t used = h_ + pos;
        if (pos < header_.minPackLength || used > block_.size()) return;
        const size_t slack = block_.size() - used;
        const size_t natural = (std::max<size_t>(used, kMinBlockLength) + kBlockAlignment - 1) /
                               kBlockAlignment * kBlockAlignment;
        if (slack > kMostUnusedBytes && block_.size() != natural) return;
        if (h_ == kRecordHeaderLengths[0] && block_.size() != natural) return;
        if (++solutions_ <= kMostSolutions)
            found_.push_back(Solution{h_, pos, flags_, known_, starts_, lengths_});
    }

    const CTableDef& table_;
    const CMyisamHeader& header_;
    RenderContext context_;
    std::vector<int32_t> entryColumn_;
    ByteSpan block_;
    size_t h_ = 0;
    size_t lost_ = 0;
    size_t flagIndex_ = 0;
    std::vector<uint8_t> flags_;
    std::vector<bool> known_;
    // Each entry's place in the record on the way being tried.
    std::vector<size_t> starts_;
    std::vector<size_t> lengths_;
    // The readings that fit the block.
    struct Solution {
        size_t h = 0;
        size_t end = 0;
        std::vector<uint8_t> flags;
        std::vector<bool> known;
        std::vector<size_t> starts;
        std::vector<size_t> lengths;
    };
    std::vector<Solution> found_;
    uint32_t solutions_ = 0;
    uint32_t steps_ = 0;
    std::vector<bool> bestKnown_;
};

bool ReadDeletedBlocks(CMyisamTableReader& myisam, uint64_t start, bool wantBookmark,
                       const CAppState& app) {
    CWindowState& window = myisam.window;
    const uint64_t fileLength = myisam.dataFile.Length();
    if (myisam.header.myisamColumns.empty()) return true;
    CBlockReader reader(myisam.dataFile);
    CDynamicRecordUnpacker unpacker(myisam, app);
    CDeletedBlockParse parse(myisam.table, myisam.header, app);
    std::vector<uint8_t> record;
    DeletedImage what;
    const size_t windowRows = myisam.options.windowRows;
    const size_t columns = myisam.table.columns.size();
    MyisamBlockInfo block;
    // Every step moves forward by a block or by the alignment: the walk ends.
    for (uint64_t pos = start; pos < fileLength;) {
        if (window.rows.rowCount() >= windowRows || pos - start >= kWindowScanBytes) {
            window.windowFull = true;
            if (wantBookmark) window.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
        block.secondRead = 0;
        const int status = ReadBlockHeader(reader, pos, block);
        uint64_t next = block.dataPos + block.blockLen;
        if ((status & BlockStatus::kInvalid) || next <= pos || next > fileLength) {
            pos += kBlockAlignment;
            continue;
        }
        if (status & BlockStatus::kDeleted) {
            constexpr uint64_t kNoLink = ~uint64_t{0};
            const bool linked = (block.nextPos == kNoLink || block.nextPos < fileLength) &&
                                (block.prevPos == kNoLink || block.prevPos < fileLength);
            if (!linked || block.blockLen < kMinBlockLength) {
                pos += kBlockAlignment;
                continue;
            }
            const ByteSpan bytes = reader.Read(pos, block.blockLen);
            if (bytes.size() == block.blockLen && parse.Parse(bytes, record, what) &&
                unpacker.UnpackDynamicRecord(myisam, record)) {
                CRowWindow& rows = window.rows;
                for (size_t c = 0; c < columns; ++c)
                    if (what.unknown[c]) rows.SetNull(c);
                std::u16string& arena = rows.arena();
                size_t cell = arena.size();
                arena += u"deleted-block";
                rows.SetCell(columns, cell, false);
                cell = arena.size();
                AppendUnknownNames(myisam.table, what, arena);
                rows.SetCell(columns + 1, cell, false);
            }
        }
        pos = next;
    }
    return !myisam.dataFile.Failed();
}

}  // namespace

uint32_t ReadMyisamPointerLength(const std::filesystem::path& myi) {
    CReadOnlyFile file;
    if (myi.empty() || !file.Open(myi)) return 0;
    uint8_t head[2] = {};
    if (file.ReadAt(kBasePosAt, head, sizeof head) != sizeof head) return 0;
    const uint64_t basePos = LoadU16be(ByteSpan(head, sizeof head), 0);
    uint8_t length = 0;
    if (file.ReadAt(basePos + kRecRefLengthAt, &length, 1) != 1) return 0;
    return length >= 2 && length <= kLongestLink ? length : 0;
}

bool PlausibleDeletedSlot(const CTableDef& table, ByteSpan image, uint64_t stride,
                          uint64_t fileLength, uint32_t pointerLength, const CAppState& app,
                          DeletedImage& what) {
    what.unknown.assign(table.columns.size(), false);
    if (image.empty() || image[0] != 0 || stride == 0) return false;
    // The link: the number of the next deleted slot, or all 0xFF for none.
    const size_t overwritten = 1 + (pointerLength != 0 ? pointerLength : kLongestLink);
    if (image.size() < overwritten) return false;
    if (pointerLength != 0) {
        const uint64_t link = LoadUIntBe(image, 1, pointerLength);
        const uint64_t none =
            pointerLength >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * pointerLength)) - 1;
        if (link != none && link >= fileLength / stride) return false;
    }
    RenderContext context;
    context.decoders = &app.decoders();
    context.allEnumValues = table.allEnumValues;
    const std::vector<ColumnExtent> extents = ColumnExtents(table, image.size());
    bool anyKnown = false;
    bool anyNonZero = false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const CColumnDef& column = table.columns[i];
        const ColumnExtent& extent = extents[i];
        // A column whose bytes, NULL flag or leftover bits lay in the link
        // is not known.
        const bool flagLost =
            column.nullFlagBit >= 0 && static_cast<size_t>(column.nullFlagBit) / 8 < overwritten;
        const bool bitsLost =
            column.extraBitsAt >= 0 && static_cast<size_t>(column.extraBitsAt) / 8 < overwritten;
        if (extent.begin < overwritten || flagLost || bitsLost) {
            what.unknown[i] = true;
            continue;
        }
        if (column.isVirtual) continue;
        anyKnown = true;
        if (column.nullFlagBit >= 0) {
            const size_t byte = static_cast<size_t>(column.nullFlagBit) / 8;
            const uint8_t mask = static_cast<uint8_t>(1u << (column.nullFlagBit % 8));
            if (byte < image.size() && (image[byte] & mask)) continue;
        }
        ByteSpan bytes;
        if (!FixedValueBytes(column, extent, image, bytes)) return false;
        if (!PlausibleStoredValue(column, bytes, context)) return false;
        if (std::any_of(image.begin() + static_cast<std::ptrdiff_t>(extent.begin),
                        image.begin() + static_cast<std::ptrdiff_t>(extent.end),
                        [](uint8_t b) { return b != 0; }))
            anyNonZero = true;
    }
    return anyKnown && anyNonZero;
}

bool ReadDeletedRowWindow(CMyisamTableReader& myisam, uint64_t start, uint32_t pointerLength,
                          bool wantBookmark, const CAppState& app) {
    CWindowState& window = myisam.window;
    window.rows.Reset(myisam.table.columns.size() + 2);
    window.windowFull = false;
    if (!myisam.dataFile.IsOpen()) return true;
    switch (myisam.header.myisamRowFormat) {
        case 0:
            return ReadDeletedSlots(myisam, start, pointerLength, wantBookmark, app);
        case 1:
            return ReadDeletedBlocks(myisam, start, wantBookmark, app);
        default:
            return true;
    }
}

}  // namespace brix
