#include "myisam/dynamic_rows.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_set>

#include "app/app_state.h"

namespace brix {

namespace {

// Blocks start on multiples of this; after bytes that are not a block the
// scan tries the next such position.
constexpr uint64_t kBlockAlign = 4;
// No record is longer than the server can send or take in one packet.
constexpr uint64_t kMaxRecordBytes = 1u << 30;

bool StatusSkipsAtRecordStart(int status) {
    return (status & BlockStatus::kInvalid) ||
           ((status & (BlockStatus::kDeleted | BlockStatus::kOutOfSequence)) != 0);
}

// The longest record the table's fields can make: the field flags, then
// every field at its longest (a length before the bytes of packed and
// variable-length fields, a BLOB as long as its length bytes can say), no
// more than kMaxRecordBytes and than the file holds. Without the fields of
// the index file only those two bound it.
uint64_t MaxRecordLength(const CMyisamHeader& header, uint64_t fileLength) {
    if (header.myisamColumns.empty()) return std::min(kMaxRecordBytes, fileLength);
    // The flags and a checksum byte.
    uint64_t longest = header.packBits + 1;
    for (const CMyisamColumnDef& e : header.myisamColumns) {
        const uint64_t length = e.myisamLength;
        if (e.myisamType == MyisamFieldKind::kBlob) {
            const uint64_t lengthBytes = length >= 9 && length <= 12 ? length - 8 : 0;
            longest += lengthBytes + ((uint64_t{1} << (8 * lengthBytes)) - 1);
        } else {
            longest += length + 2;
        }
    }
    return std::min({longest, kMaxRecordBytes, fileLength});
}

// Why a record's chain of blocks could not be joined, and where.
struct ChainProblem {
    DamageWhat what = DamageWhat::kChain;
    const char* why = nullptr;  // null when the record was joined
    uint64_t at = 0;            // the block whose header or link is at fault
};

// Reads a record's blocks from its first one on and joins their data. Fails
// when the chain is broken: a link past the end of the file or to a block
// that a record of the window took already, a block that is not a
// continuation, one without data, or more data than the record has. A
// record longer than maxLength is damage and is not read.
class CRecordAssembler {
  public:
    explicit CRecordAssembler(uint64_t maxLength) : maxLength_(maxLength) {}

    // The first block comes through the reader of the scan, the blocks it
    // links to through far: a record's later parts usually lie elsewhere in
    // the file (where updates put them), and reading them through the scan's
    // large buffer would make the scan read that buffer afresh each time.
    ChainProblem Assemble(CBlockReader& reader, CBlockReader& far, const MyisamBlockInfo& first,
                          uint64_t firstPos, uint64_t fileLength) {
        record_.clear();
        uint64_t remaining = first.recordLen;
        const auto fail = [](DamageWhat what, const char* why, uint64_t at) {
            return ChainProblem{what, why, at};
        };
        if (remaining > maxLength_)
            return fail(DamageWhat::kRecord, "record is longer than the table's rows can be",
                        firstPos);
        if (first.dataLen > remaining || first.dataLen == 0)
            return fail(DamageWhat::kRecord, "record parts do not add up", firstPos);
        if (!Append(reader, first))
            return fail(DamageWhat::kBlock, "block runs past the end of the file", firstPos);
        remaining -= first.dataLen;
        MyisamBlockInfo block = first;
        uint64_t at = firstPos;
        while (remaining > 0) {
            const uint64_t next = block.nextPos;
            if (!BlockHasNext(block.type))
                return fail(DamageWhat::kChain, "record parts do not add up", at);
            if (next >= fileLength)
                return fail(DamageWhat::kChain, "link points outside the file", at);
            // A block belongs to one record: one taken before (by this
            // record or another of the window) ends the chain, so that the
            // window reads each block once however its chains are linked.
            if (next == firstPos || !taken_.insert(next).second)
                return fail(DamageWhat::kChain, "record chain loops", at);
            block.secondRead = 1;
            const int status = ReadBlockHeader(far, next, block);
            if (status &
                (BlockStatus::kInvalid | BlockStatus::kDeleted | BlockStatus::kOutOfSequence))
                return fail(DamageWhat::kChain, "link points to a block that does not continue it",
                            at);
            if (block.dataLen == 0 || block.dataLen > remaining)
                return fail(DamageWhat::kChain, "record parts do not add up", next);
            if (!Append(far, block))
                return fail(DamageWhat::kBlock, "block runs past the end of the file", next);
            remaining -= block.dataLen;
            at = next;
        }
        return {};
    }

    ByteSpan record() const { return record_; }
    // Continuation blocks taken in the window so far.
    size_t blocksTaken() const { return taken_.size(); }

  private:
    bool Append(CBlockReader& reader, const MyisamBlockInfo& block) {
        const ByteSpan data = reader.Read(block.dataPos, block.dataLen);
        if (data.size() < block.dataLen) return false;  // data past the end of the file
        record_.insert(record_.end(), data.begin(), data.end());
        return true;
    }

    uint64_t maxLength_;
    std::vector<uint8_t> record_;
    std::unordered_set<uint64_t> taken_;
};

// Whether the header read at pos can be a block of the file: a known type,
// a length that moves the scan forward and stays within the file, and for
// the first block of a record, data no longer than the record. After damage
// the record must also be no longer than maxRecord; elsewhere a record that
// is longer is a damaged record in a sound block.
bool PlausibleBlock(int status, const MyisamBlockInfo& block, uint64_t pos, uint64_t fileLength,
                    uint64_t maxRecord, bool afterDamage) {
    if (status & BlockStatus::kInvalid) return false;
    const uint64_t end = block.dataPos + block.blockLen;
    if (end <= pos || end > fileLength) return false;
    if (status & BlockStatus::kDeleted) {
        // A deleted block links to the deleted blocks before and after it:
        // positions in the file, or none. A zero byte left by damage before
        // the bytes of a record reads as a deleted block too, whose length
        // could pass over much of the file without a word; its links are
        // record bytes, which almost never make positions in the file.
        constexpr uint64_t kNoLink = ~uint64_t{0};
        const auto link = [fileLength](uint64_t at) { return at == kNoLink || at < fileLength; };
        return link(block.nextPos) && link(block.prevPos);
    }
    if (status & BlockStatus::kFirst)
        return block.dataLen > 0 && block.dataLen <= block.recordLen &&
               (!afterDamage || block.recordLen <= maxRecord);
    return block.dataLen > 0;
}

// Whether a block can start at pos after damage, where any bytes may look
// like a header: it must be plausible, and so must the blocks that follow it,
// up to kResyncBlocks of them, the end of the file or zero bytes (a stretch
// of nothing, no header that says otherwise).
constexpr int kResyncBlocks = 3;
bool PlausibleAfterDamage(CBlockReader& reader, uint64_t pos, uint64_t fileLength,
                          uint64_t maxRecord) {
    MyisamBlockInfo block;
    for (int i = 0; i < kResyncBlocks && pos < fileLength; ++i) {
        if (i > 0) {
            const ByteSpan head = reader.Read(pos, 4);
            if (head.size() == 4 && LoadU32be(head, 0) == 0) return true;
        }
        block.secondRead = 0;
        const int status = ReadBlockHeader(reader, pos, block);
        if (!PlausibleBlock(status, block, pos, fileLength, maxRecord, true)) return false;
        pos = block.dataPos + block.blockLen;
    }
    return true;
}

// The first position from pos + kBlockAlign on where a block header can
// start, moving over zero bytes at once: a header at an aligned position
// whose four first bytes are zero is a deleted block of length 0, no block.
// Looks at no more than limit bytes.
uint64_t NextHeaderAfterZeros(CBlockReader& reader, uint64_t pos, uint64_t limit) {
    const uint64_t nextAligned = (pos / kBlockAlign + 1) * kBlockAlign;
    if (nextAligned >= limit) return nextAligned;
    const uint64_t nonZero = reader.SkipZeros(nextAligned, limit);
    if (nonZero >= limit) return std::max(limit / kBlockAlign * kBlockAlign, nextAligned);
    // The first aligned header that holds that byte in its first four.
    const uint64_t candidate =
        nonZero < 3 ? 0 : (nonZero - 3 + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
    return std::max(candidate, nextAligned);
}

// The first position after pos, within limit, that holds a plausible block
// header; limit (or the aligned position after pos, when that is past it)
// when none does. Each try moves at least kBlockAlign bytes on.
uint64_t NextPlausibleBlock(CBlockReader& reader, uint64_t pos, uint64_t fileLength, uint64_t limit,
                            uint64_t maxRecord) {
    // Bytes looked at in one go for a type byte; most bytes of damage are
    // none, and are passed over without decoding a header.
    constexpr uint64_t kScanChunk = 64u << 10;
    uint64_t at = pos;
    for (;;) {
        at = NextHeaderAfterZeros(reader, at, limit);
        if (at >= limit) return at;
        const ByteSpan chunk =
            reader.Read(at, static_cast<size_t>(std::min(kScanChunk, limit - at)));
        size_t skip = 0;
        while (skip < chunk.size() && chunk[skip] > kMaxBlockType) skip += kBlockAlign;
        at += skip;
        if (at >= limit) return at;
        if (PlausibleAfterDamage(reader, at, fileLength, maxRecord)) return at;
    }
}

}  // namespace

int ReadBlockHeader(CBlockReader& reader, uint64_t pos, MyisamBlockInfo& info) {
    return DecodeBlockHeader(reader.Read(pos, kBlockHeaderSize), pos, info);
}

CDynamicRecordUnpacker::CDynamicRecordUnpacker(const CMyisamTableReader& myisam,
                                               const CAppState& app)
    : renderer_(myisam.table, myisam.header.myisamColumns, app, myisam.options.exportMode) {}

bool CDynamicRecordUnpacker::UnpackDynamicRecord(CMyisamTableReader& myisam, ByteSpan record) {
    const CMyisamHeader& header = myisam.header;
    const size_t n = record.size();
    if (n < header.minPackLength) return false;
    const size_t flagBytes = header.packBits;
    if (flagBytes > n) return false;
    image_.assign(renderer_.imageLength(), 0);
    blobs_.clear();

    size_t pos = flagBytes;
    size_t flagIndex = 0;
    unsigned bit = 1;
    int64_t minLeft = static_cast<int64_t>(header.minPackLength) - static_cast<int64_t>(flagBytes);
    auto takeFlag = [&]() -> std::optional<bool> {
        if (flagIndex >= flagBytes) return std::nullopt;  // more flagged fields than flag bits
        const bool set = (record[flagIndex] & bit) != 0;
        bit <<= 1;
        if (bit == 256) {
            bit = 1;
            ++flagIndex;
        }
        return set;
    };
    // Copies n bytes of the record at from into the image at to; what the
    // image cannot hold is left out.
    auto copy = [&](size_t to, size_t from, size_t count) {
        if (to >= image_.size() || from >= n) return;
        count = std::min({count, image_.size() - to, n - from});
        std::memcpy(image_.data() + to, record.data() + from, count);
    };
    auto fill = [&](size_t to, size_t count, uint8_t value) {
        if (to >= image_.size()) return;
        std::memset(image_.data() + to, value, std::min(count, image_.size() - to));
    };

    for (const CMyisamColumnDef& e : header.myisamColumns) {
        const size_t at = e.offset;
        const size_t length = e.myisamLength;
        const int64_t left = static_cast<int64_t>(n - pos);
        const int kind = e.myisamType;
        if (kind == MyisamFieldKind::kVarchar) {
            // One length byte for fields of up to 255 data bytes; otherwise one
            // byte below 255, or 255 and a big-endian u16.
            const size_t prefix = length <= 256 ? 1 : 2;
            size_t dataLength;
            size_t lengthBytes = 1;
            if (pos >= n) return false;
            if (prefix == 1 || record[pos] != 255) {
                dataLength = record[pos];
            } else {
                if (pos + 3 > n) return false;
                dataLength = static_cast<size_t>(record[pos + 1]) << 8 | record[pos + 2];
                lengthBytes = 3;
            }
            if (dataLength + prefix > length || pos + lengthBytes + dataLength > n) return false;
            // The image keeps the length as the row image does: little-endian.
            if (at < image_.size()) image_[at] = static_cast<uint8_t>(dataLength);
            if (prefix == 2 && at + 1 < image_.size())
                image_[at + 1] = static_cast<uint8_t>(dataLength >> 8);
            copy(at + prefix, pos + lengthBytes, dataLength);
            pos += lengthBytes + dataLength;
            minLeft -= 1;
            continue;
        }
        if (kind == MyisamFieldKind::kNormal || kind == MyisamFieldKind::kCheck) {
            if (left < minLeft) return false;
            copy(at, pos, length);
            pos = std::min(n, pos + length);
            minLeft -= static_cast<int64_t>(length);
            continue;
        }
        const std::optional<bool> flag = takeFlag();
        if (!flag) return false;
        if (*flag) {
            if (kind == MyisamFieldKind::kSkipEndSpace || kind == MyisamFieldKind::kSkipPreSpace) {
                // The field without its cut spaces: a length, then the bytes.
                if (pos >= n) return false;
                size_t stored = record[pos];
                size_t lengthBytes = 1;
                if (length >= 256 && (record[pos] & 0x80)) {
                    if (pos + 2 > n) return false;
                    stored = (record[pos] & 0x7F) + 128u * record[pos + 1];
                    lengthBytes = 2;
                }
                if (stored >= length) return false;
                if (left - static_cast<int64_t>(lengthBytes) <
                    minLeft - 1 + static_cast<int64_t>(stored))
                    return false;
                if (kind == MyisamFieldKind::kSkipEndSpace) {
                    copy(at, pos + lengthBytes, stored);
                    fill(at + stored, length - stored, ' ');
                } else {
                    fill(at, length - stored, ' ');
                    copy(at + length - stored, pos + lengthBytes, stored);
                }
                pos += lengthBytes + stored;
                minLeft -= 1;
            } else if (kind == MyisamFieldKind::kBlob) {
                blobs_.push_back({});  // an empty BLOB: nothing stored
            }
            // Zero-skipped and other flagged fields stay zero in the image.
            continue;
        }
        if (kind == MyisamFieldKind::kBlob) {
            const size_t lengthBytes = length >= 9 && length <= 12 ? length - 8 : 0;
            if (left < static_cast<int64_t>(lengthBytes)) return false;
            const uint64_t dataLength = LoadUIntLe(record, pos, lengthBytes);
            if (static_cast<uint64_t>(left) - lengthBytes < dataLength) return false;
            if (left - static_cast<int64_t>(lengthBytes + dataLength) < minLeft) return false;
            copy(at, pos, lengthBytes);
            blobs_.push_back(record.subspan(pos + lengthBytes, static_cast<size_t>(dataLength)));
            pos += lengthBytes + static_cast<size_t>(dataLength);
            continue;
        }
        if (kind == MyisamFieldKind::kSkipEndSpace || kind == MyisamFieldKind::kSkipPreSpace)
            minLeft -= 1;
        if (left < minLeft + static_cast<int64_t>(length)) return false;
        copy(at, pos, length);
        pos = std::min(n, pos + length);
    }
    renderer_.AppendRow(myisam.table, myisam.window.rows, image_, blobs_);
    return true;
}

// Whether a record of one block most likely lost its end to a zeroed stretch
// of the file: its last byte is zero, and so are the bytes where the next
// block should start (no block, not even a deleted one, starts with four zero
// bytes). Such a record is not shown, rather than shown with zeros for what
// it held.
bool EndsInZeroedStretch(CBlockReader& reader, ByteSpan record, uint64_t next,
                         uint64_t fileLength) {
    if (record.empty() || record.back() != 0 || next >= fileLength) return false;
    const ByteSpan head = reader.Read(next, 4);
    return head.size() == 4 && LoadU32be(head, 0) == 0;
}

bool ReadDynamicRowWindow(CMyisamTableReader& myisam, uint64_t start, uint64_t fileLength,
                          bool wantBookmark, const CAppState& app) {
    CBlockReader reader(myisam.dataFile);
    // Small reads for the parts of split records, which are scattered.
    constexpr size_t kContinuationBlock = 16 * 1024;
    CBlockReader far(myisam.dataFile, kContinuationBlock);
    CDynamicRecordUnpacker unpacker(myisam, app);
    CWindowState& window = myisam.window;
    const uint64_t maxRecord = MaxRecordLength(myisam.header, fileLength);
    CRecordAssembler assembler(maxRecord);
    const uint64_t scanLimit = std::min(fileLength, start + kWindowScanBytes);
    MyisamBlockInfo block;
    uint64_t pos = start;
    while (pos < fileLength) {
        block.secondRead = 0;
        const int status = ReadBlockHeader(reader, pos, block);
        uint64_t next;
        if (PlausibleBlock(status, block, pos, fileLength, maxRecord, false)) {
            next = block.dataPos + block.blockLen;
            if (!StatusSkipsAtRecordStart(status)) {
                const ChainProblem problem =
                    assembler.Assemble(reader, far, block, pos, fileLength);
                if (problem.why)
                    myisam.Report(static_cast<int64_t>(problem.at), problem.what, problem.why, 1);
                else if (block.dataLen == block.recordLen &&
                         EndsInZeroedStretch(reader, assembler.record(), next, fileLength))
                    myisam.Report(static_cast<int64_t>(pos), DamageWhat::kRecord,
                                  "record runs into zeroed bytes", 1);
                else if (!unpacker.UnpackDynamicRecord(myisam, assembler.record()))
                    myisam.Report(static_cast<int64_t>(pos), DamageWhat::kRecord,
                                  "record does not match the table's fields", 1);
            }
        } else {
            // The header says nothing usable: the scan goes on at the next
            // position that can hold a block, and the bytes passed over are
            // told as one finding.
            next = NextPlausibleBlock(reader, pos, fileLength, scanLimit, maxRecord);
            const uint64_t end = std::min(next, fileLength);
            const char* why = "bad block header";
            const ByteSpan head = reader.Read(pos, 4);
            if (head.size() == 4 && LoadU32be(head, 0) == 0)
                why = "zero bytes where a block should start";
            else if (!(status & BlockStatus::kInvalid) &&
                     block.dataPos + block.blockLen > fileLength)
                why = "block runs past the end of the file";
            myisam.Report(static_cast<int64_t>(pos), DamageWhat::kBlock,
                          std::string(why) + "; " + std::to_string(end - pos) +
                              " bytes skipped to the next block");
        }
        pos = next;
        // A window ends when it is full, or short of that once it has moved
        // over as many bytes as one window may.
        const bool full = window.rows.rowCount() >= myisam.options.windowRows;
        if (full || (pos < fileLength && pos - start >= kWindowScanBytes)) {
            window.windowFull = true;
            if (wantBookmark) window.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
    }
    return !myisam.dataFile.Failed();
}

}  // namespace brix
