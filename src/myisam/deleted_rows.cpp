#include "myisam/deleted_rows.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "app/app_state.h"
#include "app/block_reader.h"
#include "myisam/block_header.h"
#include "myisam/dynamic_rows.h"
#include "myisam/myisam_row.h"
#include "schema/field_types.h"
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
// block, which held the header of the record's block and the record's first
// bytes. What follows is the rest of the record as the dynamic format packs
// it: the field flags, then each field, some of them with a length before
// them. The record can be read back from its first whole bytes on only when
// the fields before them have lengths that need no lost byte; the flags are
// lost, so every choice of them is tried. A choice counts when it parses to
// where the record can end and gives values the columns can hold; a column
// is shown only when every choice that counts reads the same bytes for it,
// so that what is shown follows from the bytes whichever choice was the
// server's.
//
// A record that did not fit one block (it grew in an update, or was written
// into several free blocks) loses each of its blocks alike: the delete turns
// them into free blocks one after the other, each taking the 20 bytes of its
// start, and leaves in the first one's link to the previous free block the
// position of the record's second block (in the second one the third's, and
// so on), while the second one's link to the next free block names the
// first. Such a chain is followed from block to block while both links agree,
// and the record is read back from the bytes each block kept.
constexpr uint32_t kFreeHeaderSize = 20;
// Header lengths of the blocks that hold a whole record: types 1 to 4.
constexpr uint32_t kRecordHeaderLengths[] = {3, 4, 5};
// Header lengths in a record over several blocks, for short blocks (record
// and block below 65520 bytes) and long ones (one byte more for each
// length): the first block (types 5 and 6: both lengths and the link to the
// next block), a block in between (types 11 and 12: its length and the
// link) and the last one (types 7 and 8 fill it; types 9 and 10 add a byte
// that counts the unused bytes after the data).
constexpr uint32_t kFirstOfManyHeader = 1 + 2 + 2 + 8;
constexpr uint32_t kMiddleHeader = 1 + 2 + 8;
constexpr uint32_t kLastHeader = 1 + 2;
// Blocks are at least this long, in steps of 4; a block that kept unused
// bytes says so in its header (types 3 and 4), fewer than a free block's
// least length beside the header's own bytes.
constexpr uint32_t kMinBlockLength = 20;
constexpr uint32_t kBlockAlignment = 4;
constexpr uint32_t kMostUnusedBytes = kMinBlockLength + 3;
// The unused bytes a last block of several may keep: a block is split when
// more than twice a least block plus its header would be left over.
constexpr uint32_t kMostUnusedInLast = 2 * (kMinBlockLength + 4) + kBlockAlignment;
// Blocks of one deleted record followed at most, and the bytes of such
// blocks one window reads at most.
constexpr size_t kMostChainBlocks = 16;
constexpr uint64_t kMostChainBytesRead = 2 * kWindowScanBytes;
// Parses tried for one block at most, and readings that fit it: more is
// taken as ambiguity.
constexpr uint32_t kMostParseSteps = 50000;
constexpr uint32_t kMostSolutions = 8;

// Whether a value of the type shows that its bytes are such a value: any
// bytes are an integer or a text of a byte character set, few are a DECIMAL,
// a date or a time.
bool ValueTellsARecord(int type) {
    switch (type) {
        case FieldType::kTiny:
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kLongLong:
        case FieldType::kInt24:
            return false;
        default:
            return !IsStringType(type) && !IsBlobType(type);
    }
}

// The bytes of a deleted block that were its own when it was freed. A free
// block that followed it was joined to it then, its header left where it
// stood: a free block's header (type 0, its length) at a step of the
// alignment whose length reaches exactly to the end of this block. The
// first such place is where the block's own bytes end.
size_t OwnBlockLength(ByteSpan block) {
    for (size_t at = kMinBlockLength; at + kMinBlockLength <= block.size(); at += kBlockAlignment)
        if (block[at] == 0 && LoadU24be(block, at + 1) == block.size() - at) return at;
    return block.size();
}

// One way the record may have lain in its deleted blocks: its bytes in
// order, those the free blocks' headers took marked lost, and where it may
// end (endFrom to endTo, its length in bytes). With singleBlock the record
// filled one block of blockLength bytes after a header of headerLength, and
// the block's length must fit the record's (End).
struct BlockRecordLayout {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> lostBefore;  // lost bytes before each position
    size_t endFrom = 0;
    size_t endTo = 0;
    bool singleBlock = false;
    size_t blocks = 1;
    size_t headerLength = 0;
    size_t blockLength = 0;

    size_t leadingLost = 0;  // the lost bytes the record starts with

    void Append(ByteSpan block, size_t from) {
        if (lostBefore.empty()) {
            lostBefore.push_back(0);
            const size_t header = std::min<size_t>(kFreeHeaderSize, block.size());
            leadingLost = from < header ? header - from : 0;
        }
        for (size_t i = from; i < block.size(); ++i) {
            bytes.push_back(block[i]);
            lostBefore.push_back(lostBefore.back() + (i < kFreeHeaderSize ? 1 : 0));
        }
    }
};

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

    // Forgets the readings of the last record.
    void Begin() {
        layouts_.clear();
        found_.clear();
        solutions_ = 0;
        steps_ = 0;
    }

    // Tries every reading of the record laid out so; true when one of them
    // ran out of bytes (the record may go on in another block).
    bool Try(BlockRecordLayout layout) {
        if (layout.bytes.empty() || TooMany()) return false;
        layouts_.push_back(std::move(layout));
        layout_ = &layouts_.back();
        layoutIndex_ = layouts_.size() - 1;
        wantedMore_ = false;
        flags_.assign(header_.packBits, 0);
        known_.assign(header_.myisamColumns.size(), false);
        flagIndex_ = 0;
        starts_.assign(header_.myisamColumns.size(), 0);
        lengths_.assign(header_.myisamColumns.size(), 0);
        Step(0, header_.packBits);
        return wantedMore_;
    }

    bool TooMany() const { return solutions_ > kMostSolutions || steps_ > kMostParseSteps; }
    uint32_t Solutions() const { return solutions_; }

    // The most blocks a reading that fits took.
    size_t BlocksUsed() const {
        size_t most = 0;
        for (const Solution& s : found_) most = std::max(most, layouts_[s.layout].blocks);
        return most;
    }

    // After the tries: true when at least one reading fits (and not too
    // many) and some column is known. record is then the record of the
    // first reading with its lost bytes rebuilt (the flags found, zeros for
    // the fields that were lost); what names the columns not known: those
    // in lost bytes, and those the readings do not all read alike.
    bool Finish(std::vector<uint8_t>& record, DeletedImage& what) {
        if (solutions_ == 0 || TooMany()) return false;
        // Where several readings fit, a field is known only when every one
        // of them reads the same bytes for it.
        const Solution& base = found_.front();
        const BlockRecordLayout& baseLayout = layouts_[base.layout];
        bestKnown_ = base.known;
        for (size_t e = 0; e < bestKnown_.size(); ++e)
            for (const Solution& other : found_) {
                const BlockRecordLayout& otherLayout = layouts_[other.layout];
                if (!other.known[e] || other.lengths[e] != base.lengths[e] ||
                    !std::equal(
                        baseLayout.bytes.begin() + static_cast<std::ptrdiff_t>(base.starts[e]),
                        baseLayout.bytes.begin() +
                            static_cast<std::ptrdiff_t>(base.starts[e] + base.lengths[e]),
                        otherLayout.bytes.begin() + static_cast<std::ptrdiff_t>(other.starts[e])))
                    bestKnown_[e] = false;
            }
        record.assign(base.end, 0);
        bool anyByte = false;
        for (size_t i = 0; i < base.end; ++i) {
            if (ByteKnown(baseLayout, i)) {
                record[i] = baseLayout.bytes[i];
                anyByte = anyByte || record[i] != 0;
            } else if (i < base.flags.size()) {
                record[i] = base.flags[i];
            }
        }
        what.unknown.assign(table_.columns.size(), false);
        size_t known = 0;
        size_t checked = 0;
        for (size_t c = 0; c < table_.columns.size(); ++c) {
            const CColumnDef& column = table_.columns[c];
            const bool lostValue =
                !EntryKnown(static_cast<size_t>(std::max(column.recordPos - 1, 0)));
            const bool lostFlag =
                column.nullFlagBit >= 0 && !EntryKnown(static_cast<size_t>(column.nullFlagBit) / 8);
            const bool lostBits =
                column.extraBitsAt >= 0 && !EntryKnown(static_cast<size_t>(column.extraBitsAt) / 8);
            what.unknown[c] = lostValue || lostFlag || lostBits;
            if (what.unknown[c] || column.isVirtual) continue;
            // An empty text is read from a flag or a length byte alone.
            if (EntryEmpty(base.lengths, static_cast<size_t>(std::max(column.recordPos - 1, 0))))
                continue;
            ++known;
            if (ValueTellsARecord(column.type)) ++checked;
        }
        // One value alone is no sign of a record: the later block of a
        // record over several, or bytes of several records, can be read so.
        // Blocks joined by their links may be two records' blocks read as
        // one: such a reading needs two values of a checked type.
        return known >= 2 && checked >= (BlocksUsed() > 1 ? 2u : 1u) && anyByte;
    }

  private:
    static bool ByteKnown(const BlockRecordLayout& layout, size_t i) {
        return i < layout.bytes.size() && layout.lostBefore[i + 1] == layout.lostBefore[i];
    }
    // The record's byte at i, when it was kept.
    bool Byte(size_t i, uint8_t& b) {
        if (i >= layout_->bytes.size()) wantedMore_ = true;
        if (!ByteKnown(*layout_, i)) return false;
        b = layout_->bytes[i];
        return true;
    }
    bool Known(size_t at, size_t length) {
        if (at + length > layout_->bytes.size()) {
            wantedMore_ = true;
            return false;
        }
        return layout_->lostBefore[at + length] == layout_->lostBefore[at];
    }
    // Whether the place at (of a field that stores no byte) follows from
    // kept bytes: nothing before it is lost past the first bytes, and the
    // byte it stands before was kept.
    bool PlaceKnown(size_t at) const {
        const size_t size = layout_->bytes.size();
        const size_t leading = layout_->leadingLost;
        return at >= leading && layout_->lostBefore[std::min(at, size)] == leading &&
               (at >= size || ByteKnown(*layout_, at));
    }
    // Whether the record's bytes reach that far (a value may lie partly in
    // lost bytes: its length is known, its value not).
    bool Within(size_t at, size_t length) {
        if (at + length <= layout_->bytes.size()) return true;
        wantedMore_ = true;
        return false;
    }
    ByteSpan Bytes(size_t at, size_t length) const {
        return ByteSpan(layout_->bytes).subspan(at, length);
    }

    // Whether the reading takes no value bytes for the entry that starts at
    // imageByte (a flag that says empty, or a length of 0).
    bool EntryEmpty(const std::vector<size_t>& lengths, size_t imageByte) const {
        const auto& entries = header_.myisamColumns;
        for (size_t e = 0; e < entries.size(); ++e) {
            if (entries[e].offset != imageByte) continue;
            const int kind = entries[e].myisamType;
            const bool counted = kind == MyisamFieldKind::kVarchar ||
                                 kind == MyisamFieldKind::kSkipEndSpace ||
                                 kind == MyisamFieldKind::kSkipPreSpace;
            return lengths[e] <= (counted ? 1u : 0u);
        }
        return false;
    }

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
            if (data + prefix > length || !Within(pos + lengthBytes, data)) return;
            const bool known = Known(pos + lengthBytes, data);
            if (known && !Plausible(e, Bytes(pos + lengthBytes, data))) return;
            return Take(e, pos + lengthBytes + data, known);
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
            Flagged(e, pos, set, flagKnown);
        }
        --flagIndex_;
    }

    void Flagged(size_t e, size_t pos, bool set, bool flagKnown) {
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
                if (data >= length || !Within(pos + lengthBytes, data)) return;
                const bool known = Known(pos + lengthBytes, data);
                if (known && !Plausible(e, Bytes(pos + lengthBytes, data))) return;
                return Take(e, pos + lengthBytes + data, known);
            }
            // A zero or empty value: nothing stored, known where its flag
            // was kept or its place follows from kept bytes.
            return Take(e, pos, flagKnown || PlaceKnown(pos));
        }
        if (kind == MyisamFieldKind::kBlob) {
            const size_t lengthBytes = length >= 9 && length <= 12 ? length - 8 : 0;
            if (lengthBytes == 0 || !Known(pos, lengthBytes)) return;
            const uint64_t data = LoadUIntLe(Bytes(pos, lengthBytes), 0, lengthBytes);
            // An empty BLOB would have had its flag set.
            if (data == 0 || data > layout_->bytes.size() || !Known(pos + lengthBytes, data))
                return;
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

    // The record ends at pos. In one block, that block must be the deleted
    // block, or the deleted block must be no longer than the record's block
    // could be; over several, the end lies where the last block may end it.
    void End(size_t pos) {
        const BlockRecordLayout& layout = *layout_;
        if (pos < header_.minPackLength || pos > layout.bytes.size()) return;
        if (layout.singleBlock) {
            const size_t used = layout.headerLength + pos;
            const size_t block = layout.blockLength;
            if (used > block) return;
            const size_t slack = block - used;
            const size_t natural = (std::max<size_t>(used, kMinBlockLength) + kBlockAlignment - 1) /
                                   kBlockAlignment * kBlockAlignment;
            if (slack > kMostUnusedBytes && block != natural) return;
            if (layout.headerLength == kRecordHeaderLengths[0] && block != natural) return;
        } else if (pos < layout.endFrom || pos > layout.endTo) {
            return;
        }
        if (++solutions_ <= kMostSolutions)
            found_.push_back(Solution{layoutIndex_, pos, flags_, known_, starts_, lengths_});
    }

    const CTableDef& table_;
    const CMyisamHeader& header_;
    RenderContext context_;
    std::vector<int32_t> entryColumn_;
    // The layouts tried for this record; layout_ the one being parsed.
    std::deque<BlockRecordLayout> layouts_;
    const BlockRecordLayout* layout_ = nullptr;
    size_t layoutIndex_ = 0;
    bool wantedMore_ = false;
    size_t flagIndex_ = 0;
    std::vector<uint8_t> flags_;
    std::vector<bool> known_;
    // Each entry's place in the record on the way being tried.
    std::vector<size_t> starts_;
    std::vector<size_t> lengths_;
    // The readings that fit.
    struct Solution {
        size_t layout = 0;
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

// A deleted block of the file: where it is, its links and its own bytes.
struct FreeBlock {
    uint64_t pos = 0;
    uint64_t next = 0;
    uint64_t prev = 0;
    uint64_t length = 0;         // as its header says
    std::vector<uint8_t> bytes;  // up to where a free block joined to it starts
};

// Reads the free block at pos; false when none is there or it does not fit
// the file.
bool ReadFreeBlock(CBlockReader& reader, uint64_t pos, uint64_t fileLength, FreeBlock& out) {
    MyisamBlockInfo info;
    const int status = ReadBlockHeader(reader, pos, info);
    if ((status & BlockStatus::kInvalid) || !(status & BlockStatus::kDeleted)) return false;
    if (info.blockLen < kMinBlockLength || pos + info.blockLen > fileLength) return false;
    constexpr uint64_t kNoLink = ~uint64_t{0};
    if ((info.nextPos != kNoLink && info.nextPos >= fileLength) ||
        (info.prevPos != kNoLink && info.prevPos >= fileLength))
        return false;
    const ByteSpan bytes = reader.Read(pos, info.blockLen);
    if (bytes.size() != info.blockLen) return false;
    out.pos = pos;
    out.next = info.nextPos;
    out.prev = info.prevPos;
    out.length = info.blockLen;
    out.bytes.assign(bytes.begin(),
                     bytes.begin() + static_cast<std::ptrdiff_t>(OwnBlockLength(bytes)));
    return true;
}

// Tries the record laid over the first block and those of chain after it:
// every layout of their headers (short or long blocks, a last block filled
// or with unused bytes). True when a layout ran out of bytes.
bool TryChain(CDeletedBlockParse& parse, const FreeBlock& first,
              const std::vector<FreeBlock>& chain) {
    bool wantedMore = false;
    for (const uint32_t wide : {0u, 1u}) {
        for (const bool filled : {true, false}) {
            BlockRecordLayout layout;
            layout.blocks = chain.size() + 1;
            layout.Append(first.bytes, kFirstOfManyHeader + 2 * wide);
            for (size_t i = 0; i + 1 < chain.size(); ++i)
                layout.Append(chain[i].bytes, kMiddleHeader + wide);
            const size_t lastStart = layout.bytes.size();
            layout.Append(chain.back().bytes, kLastHeader + wide + (filled ? 0 : 1));
            const size_t total = layout.bytes.size();
            if (total <= lastStart) continue;
            layout.endTo = total;
            layout.endFrom =
                filled
                    ? total
                    : std::max<size_t>(lastStart + 1,
                                       total > kMostUnusedInLast ? total - kMostUnusedInLast : 0);
            wantedMore = parse.Try(std::move(layout)) || wantedMore;
        }
    }
    return wantedMore;
}

bool ReadDeletedBlocks(CMyisamTableReader& myisam, uint64_t start, bool wantBookmark,
                       const CAppState& app) {
    CWindowState& window = myisam.window;
    const uint64_t fileLength = myisam.dataFile.Length();
    if (myisam.header.myisamColumns.empty()) return true;
    CBlockReader reader(myisam.dataFile);
    CBlockReader chainReader(myisam.dataFile);
    CDynamicRecordUnpacker unpacker(myisam, app);
    CDeletedBlockParse parse(myisam.table, myisam.header, app);
    std::vector<uint8_t> record;
    DeletedImage what;
    const size_t windowRows = myisam.options.windowRows;
    const size_t columns = myisam.table.columns.size();
    // Blocks read as later parts of a record shown: not read again as the
    // start of one.
    std::unordered_set<uint64_t> taken;
    // The bytes the window may read of blocks the links lead to: links of
    // damaged blocks that all lead to one long block read it once for each.
    uint64_t chainBudget = kMostChainBytesRead;
    MyisamBlockInfo block;
    FreeBlock first;
    std::vector<FreeBlock> chain;
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
        if (!(status & BlockStatus::kDeleted)) {
            pos = next;
            continue;
        }
        if (!ReadFreeBlock(reader, pos, fileLength, first)) {
            pos += kBlockAlignment;
            continue;
        }
        // A free block joined to this one is looked at on its own next.
        next = pos + first.bytes.size();
        if (taken.erase(pos) != 0) {
            pos = next;
            continue;
        }
        parse.Begin();
        const ByteSpan own(first.bytes);
        for (const uint32_t h : kRecordHeaderLengths) {
            BlockRecordLayout layout;
            layout.singleBlock = true;
            layout.headerLength = h;
            layout.blockLength = own.size();
            layout.Append(own, h);
            parse.Try(std::move(layout));
        }
        // The blocks the record may go on in, while each names the one
        // before it back; only for a block that does not hold a whole record.
        chain.clear();
        uint64_t link = parse.Solutions() != 0 ? first.pos : first.prev;
        uint64_t back = first.pos;
        while (chain.size() < kMostChainBlocks && !parse.TooMany()) {
            FreeBlock part;
            if (link == back || link >= fileLength ||
                !ReadFreeBlock(chainReader, link, fileLength, part))
                break;
            chainBudget -= std::min<uint64_t>(chainBudget, part.length);
            if (chainBudget == 0 || part.next != back || part.pos == first.pos) break;
            const bool seen = std::any_of(chain.begin(), chain.end(),
                                          [&](const FreeBlock& b) { return b.pos == part.pos; });
            if (seen) break;
            back = part.pos;
            link = part.prev;
            chain.push_back(std::move(part));
            if (!TryChain(parse, first, chain)) break;
        }
        if (parse.Finish(record, what) && unpacker.UnpackDynamicRecord(myisam, record)) {
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
            // The blocks after this one that the record's reading took.
            const size_t used = parse.BlocksUsed();
            for (size_t i = 0; i + 1 < used && i < chain.size(); ++i)
                if (chain[i].pos > pos) taken.insert(chain[i].pos);
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
