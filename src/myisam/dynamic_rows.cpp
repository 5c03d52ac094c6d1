#include "myisam/dynamic_rows.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "app/app_state.h"

namespace brix {

namespace {

constexpr size_t kBlockHeaderSize = 20;
// Blocks start on multiples of this; after bytes that are not a block the
// scan tries the next such position.
constexpr uint64_t kBlockAlign = 4;
constexpr uint8_t kMaxBlockType = 13;
// Chains longer than this are checked for cycles with a set, shorter ones by
// a look at the positions taken so far.
constexpr size_t kShortChain = 16;

// Block types that link to the record's next block.
bool HasNextBlock(uint8_t type) {
    return type == 5 || type == 6 || type == 11 || type == 12 || type == 13;
}

bool StatusSkipsAtRecordStart(int status) {
    return (status & BlockStatus::kInvalid) ||
           ((status & (BlockStatus::kDeleted | BlockStatus::kOutOfSequence)) != 0);
}

// Reads a record's blocks from its first one on and joins their data. False
// when the chain is broken: a link past the end of the file or back to a
// block already taken, a block that is not a continuation, one without data,
// or more data than the record has.
class CRecordAssembler {
  public:
    bool Assemble(CBlockReader& reader, uint64_t firstPos, const MyisamBlockInfo& first,
                  uint64_t fileLength) {
        record_.clear();
        chain_.assign(1, firstPos);
        seen_.clear();
        uint64_t remaining = first.recordLen;
        if (remaining > fileLength || first.dataLen > remaining) return false;
        if (!Append(reader, first)) return false;
        remaining -= first.dataLen;
        MyisamBlockInfo block = first;
        while (remaining > 0) {
            const uint64_t next = block.nextPos;
            if (!HasNextBlock(block.type) || next >= fileLength || Visited(next)) return false;
            block.secondRead = 1;
            const int status = ReadBlockHeader(reader, next, block);
            if (status &
                (BlockStatus::kInvalid | BlockStatus::kDeleted | BlockStatus::kOutOfSequence))
                return false;
            if (block.dataLen == 0 || block.dataLen > remaining) return false;
            if (!Append(reader, block)) return false;
            remaining -= block.dataLen;
        }
        return true;
    }

    ByteSpan record() const { return record_; }

  private:
    bool Append(CBlockReader& reader, const MyisamBlockInfo& block) {
        const size_t at = record_.size();
        record_.resize(at + block.dataLen);
        const ByteSpan data = reader.Read(block.dataPos, block.dataLen);
        if (data.size() < block.dataLen) return false;  // data past the end of the file
        if (data.empty()) return true;
        std::memcpy(record_.data() + at, data.data(), data.size());
        return true;
    }

    bool Visited(uint64_t pos) {
        if (chain_.size() < kShortChain) {
            if (std::find(chain_.begin(), chain_.end(), pos) != chain_.end()) return true;
            chain_.push_back(pos);
            return false;
        }
        if (seen_.empty()) seen_.insert(chain_.begin(), chain_.end());
        return !seen_.insert(pos).second;
    }

    std::vector<uint8_t> record_;
    std::vector<uint64_t> chain_;
    std::unordered_set<uint64_t> seen_;
};

}  // namespace

int ReadBlockHeader(CBlockReader& reader, uint64_t pos, MyisamBlockInfo& info) {
    const ByteSpan h = reader.Read(pos, kBlockHeaderSize);
    const uint32_t secondRead = info.secondRead;
    info = MyisamBlockInfo{};
    info.type = LoadU8(h, 0);
    info.secondRead = secondRead;
    int status = 0;
    switch (info.type) {
        case 0:
            info.blockLen = LoadU24be(h, 1);
            info.nextPos = LoadU64be(h, 4);
            info.prevPos = LoadU64be(h, 12);
            info.dataPos = pos;
            return BlockStatus::kDeleted;
        case 1:
        case 2:
        case 3:
        case 4: {
            const bool wide = info.type == 2 || info.type == 4;
            info.recordLen = wide ? LoadU24be(h, 1) : LoadU16be(h, 1);
            info.dataLen = info.recordLen;
            const size_t headerLength = wide ? 4 : 3;
            info.blockLen = info.recordLen;
            if (info.type >= 3) info.blockLen += LoadU8(h, headerLength);
            info.dataPos = pos + headerLength + (info.type >= 3 ? 1 : 0);
            status = BlockStatus::kFirst | BlockStatus::kLast;
            break;
        }
        case 5:
            info.recordLen = LoadU16be(h, 1);
            info.dataLen = info.blockLen = LoadU16be(h, 3);
            info.nextPos = LoadU64be(h, 5);
            info.dataPos = pos + 13;
            info.secondRead = 1;
            status = BlockStatus::kFirst;
            break;
        case 6:
            info.recordLen = LoadU24be(h, 1);
            info.dataLen = info.blockLen = LoadU24be(h, 4);
            info.nextPos = LoadU64be(h, 7);
            info.dataPos = pos + 15;
            info.secondRead = 1;
            status = BlockStatus::kFirst;
            break;
        case 7:
        case 8:
        case 9:
        case 10: {
            const bool wide = info.type == 8 || info.type == 10;
            info.dataLen = wide ? LoadU24be(h, 1) : LoadU16be(h, 1);
            const size_t headerLength = wide ? 4 : 3;
            info.blockLen = info.dataLen;
            if (info.type >= 9) info.blockLen += LoadU8(h, headerLength);
            info.dataPos = pos + headerLength + (info.type >= 9 ? 1 : 0);
            status = BlockStatus::kLast;
            break;
        }
        case 11:
            info.dataLen = info.blockLen = LoadU16be(h, 1);
            info.nextPos = LoadU64be(h, 3);
            info.dataPos = pos + 11;
            info.secondRead = 1;
            break;
        case 12:
            info.dataLen = info.blockLen = LoadU24be(h, 1);
            info.nextPos = LoadU64be(h, 4);
            info.dataPos = pos + 12;
            info.secondRead = 1;
            break;
        case 13:
            info.recordLen = LoadU32be(h, 1);
            info.dataLen = info.blockLen = LoadU24be(h, 5);
            info.nextPos = LoadU64be(h, 8);
            info.dataPos = pos + 16;
            info.secondRead = 1;
            status = BlockStatus::kFirst;
            break;
        default:
            return BlockStatus::kInvalid;
    }
    const bool startsRecord = info.type <= 6 || info.type == kMaxBlockType;
    if ((secondRead == 0) != startsRecord) status |= BlockStatus::kOutOfSequence;
    return status;
}

CDynamicRecordUnpacker::CDynamicRecordUnpacker(const CTableDef& table, const CAppState& app)
    : renderer_(table, app) {}

bool CDynamicRecordUnpacker::UnpackDynamicRecord(CTableDef& table, ByteSpan record) {
    const size_t n = record.size();
    if (n < table.minPackLength) return false;
    const size_t flagBytes = table.packBits;
    if (flagBytes > n) return false;
    image_.assign(renderer_.imageLength(), 0);
    blobs_.clear();

    size_t pos = flagBytes;
    size_t flagIndex = 0;
    unsigned bit = 1;
    int64_t minLeft = static_cast<int64_t>(table.minPackLength) - static_cast<int64_t>(flagBytes);
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

    for (const CMyisamColumnDef& e : table.myisamColumns) {
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
    renderer_.AppendRow(table, image_, blobs_);
    return true;
}

bool ReadDynamicRowWindow(CTableDef& table, uint64_t start, uint64_t fileLength, bool wantBookmark,
                          const CAppState& app) {
    CBlockReader reader(table.dataFile);
    CDynamicRecordUnpacker unpacker(table, app);
    CRecordAssembler assembler;
    MyisamBlockInfo block;
    uint64_t pos = start;
    while (pos < fileLength) {
        block.secondRead = 0;
        const int status = ReadBlockHeader(reader, pos, block);
        // Where the scan goes on: after this block, or, when its header says
        // nothing usable (no block, no length, a block past the end of the
        // file), at the next aligned position.
        uint64_t next = block.dataPos + block.blockLen;
        if ((status & BlockStatus::kInvalid) || next <= pos || next > fileLength)
            next = (pos / kBlockAlign + 1) * kBlockAlign;
        if (!StatusSkipsAtRecordStart(status) && assembler.Assemble(reader, pos, block, fileLength))
            unpacker.UnpackDynamicRecord(table, assembler.record());
        pos = next;
        if (table.rows.rowCount() >= kWindowRows) {
            table.windowFull = true;
            if (wantBookmark) table.bookmarks.push_back({0, static_cast<int64_t>(pos)});
            break;
        }
    }
    return !table.dataFile.Failed();
}

}  // namespace brix
