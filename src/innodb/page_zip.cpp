#include "innodb/page_zip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "innodb/page_check.h"

namespace brix {

namespace {

// The file header, then the index page header: kept uncompressed.
constexpr size_t kPageHeader = 38;
constexpr size_t kPageData = kPageHeader + 56;
// Fields of the index page header, from its start.
constexpr size_t kDirSlots = 0;
constexpr size_t kHeapTop = 2;
constexpr size_t kHeapCount = 4;
constexpr size_t kRecordCount = 16;
constexpr size_t kLevel = 26;

// The compact infimum and supremum, and where the stream's records start.
constexpr uint32_t kInfimum = 99;
constexpr uint32_t kSupremum = 112;
constexpr uint32_t kZipStart = 120;
constexpr uint32_t kRecordHeader = 5;  // the bytes of a header the stream leaves out
constexpr uint32_t kPageTrailer = 8;
constexpr uint32_t kDirSlotSize = 2;
constexpr uint32_t kFirstUserHeapNo = 2;

// Dense directory entries: the record's offset and two flags.
constexpr uint16_t kSlotMask = 0x3FFF;
constexpr uint16_t kSlotOwned = 0x4000;
constexpr uint16_t kSlotDeleted = 0x8000;

// Columns stored outside the stream, after the dense directory.
constexpr uint32_t kNodePointer = 4;
constexpr uint32_t kTrxRoll = 6 + 7;
constexpr uint32_t kExternRef = 20;

constexpr uint8_t kDeletedFlag = 0x20;
constexpr uint8_t kMinRecFlag = 0x10;
constexpr uint16_t kStatusNodePointer = 1;

// Records have at most this many fields.
constexpr size_t kMaxFields = 1023;

constexpr uint32_t kNoChecksum = 0xDEADBEEF;
// The checksum leaves out itself, the LSN and the flush LSN.
constexpr size_t kOffsetField = 4;
constexpr size_t kLsnField = 16;
constexpr size_t kTypeField = 24;
constexpr size_t kSpaceIdField = 34;

void StoreU16(std::span<uint8_t> page, size_t at, uint32_t value) {
    page[at] = static_cast<uint8_t>(value >> 8);
    page[at + 1] = static_cast<uint8_t>(value);
}

void StoreU32(std::span<uint8_t> page, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) page[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A field of the index as the stream describes it: runs of fixed-length
// NOT NULL columns are one field, which is all a record's layout needs.
struct ZipField {
    uint32_t fixed = 0;  // 0: variable length
    bool big = false;    // variable, longer than 255 bytes at most: two length bytes past 127
    bool notNull = false;
};

// Where the fields of one record end, read from its header bytes.
struct RecordShape {
    uint32_t extra = 0;  // header bytes before the origin, the five fixed ones included
    uint32_t dataSize = 0;
    std::vector<uint32_t> ends;
    std::vector<uint8_t> external;
    bool anyExternal = false;

    uint32_t Start(size_t field) const { return field == 0 ? 0 : ends[field - 1]; }
};

class ZipDecoder {
  public:
    ZipDecoder(ByteSpan raw, std::span<uint8_t> out) : raw_(raw), out_(out) {}
    ~ZipDecoder() {
        if (streamOpen_) inflateEnd(&stream_);
    }
    ZipDecoder(const ZipDecoder&) = delete;
    ZipDecoder& operator=(const ZipDecoder&) = delete;

    // Empty on success, otherwise why the page is not rebuilt.
    const char* Run();

  private:
    enum class Kind { kNode, kSecondary, kClustered };

    uint16_t DirEntry(size_t i) const {
        return LoadU16be(raw_, raw_.size() - kDirSlotSize * (i + 1));
    }
    const char* DecodeDirectory();
    const char* DecodeFields();
    // Reads a record's layout from header bytes, the k-th of which (counted
    // away from the origin) byteAt gives, or -1 where there is none.
    template <typename ByteAt>
    bool Shape(bool nodePointer, ByteAt byteAt, RecordShape& shape) const;
    bool ShapeInPage(uint32_t rec, bool nodePointer, RecordShape& shape) const;
    // Inflates up to offset target of the page; Z_OK when it got there.
    int InflateTo(uint32_t target);
    bool StartRecord(uint32_t rec);
    const char* Records(bool& ended);
    const char* ApplyLog(size_t start, size_t end, size_t& logEnd);
    const char* RestoreColumns(size_t logEnd);
    const char* LinkRecords();

    ByteSpan raw_;
    std::span<uint8_t> out_;
    z_stream stream_{};
    bool streamOpen_ = false;

    Kind kind_ = Kind::kSecondary;
    uint16_t status_ = 0;
    uint32_t heapStatus_ = 0;
    size_t dense_ = 0;
    size_t userRecords_ = 0;
    uint32_t outPos_ = kZipStart;
    std::vector<uint32_t> recs_;  // in heap order: by offset
    std::vector<ZipField> fields_;
    uint32_t nullable_ = 0;
    size_t trxField_ = 0;
    RecordShape shape_;
};

const char* ZipDecoder::Run() {
    const size_t z = raw_.size();
    const size_t size = out_.size();
    std::fill(out_.begin(), out_.end(), uint8_t{0});
    std::copy(raw_.begin(), raw_.begin() + kPageData, out_.begin());
    const uint16_t heap = LoadU16be(raw_, kPageHeader + kHeapCount);
    if ((heap & 0x8000) == 0) return "compressed page is not in the compact layout";
    const size_t heapCount = heap & 0x7FFF;
    if (heapCount < kFirstUserHeapNo) return "compressed page counts too few records";
    dense_ = heapCount - kFirstUserHeapNo;
    if (dense_ * kDirSlotSize >= z - kPageData)
        return "compressed page directory runs past the page";
    userRecords_ = LoadU16be(raw_, kPageHeader + kRecordCount);
    if (userRecords_ > dense_) return "compressed page counts more records than its directory";
    const bool leaf = LoadU16be(raw_, kPageHeader + kLevel) == 0;
    status_ = leaf ? 0 : kStatusNodePointer;
    heapStatus_ = status_ | (kFirstUserHeapNo << 3);

    if (const char* why = DecodeDirectory()) return why;

    // The infimum and supremum are not stored.
    static constexpr uint8_t kInfimumBytes[] = {0x01, 0x00, 0x02, 0x00, 0x00, 'i', 'n',
                                                'f',  'i',  'm',  'u',  'm',  0x00};
    static constexpr uint8_t kSupremumBytes[] = {0x00, 0x0B, 0x00, 0x00, 's', 'u',
                                                 'p',  'r',  'e',  'm',  'u', 'm'};
    std::copy(std::begin(kInfimumBytes), std::end(kInfimumBytes),
              out_.begin() + (kInfimum - kRecordHeader));
    std::copy(std::begin(kSupremumBytes), std::end(kSupremumBytes),
              out_.begin() + (kSupremum - kRecordHeader + 1));
    const uint32_t first = userRecords_ == 0 ? kSupremum : DirEntry(0) & kSlotMask;
    StoreU16(out_, kInfimum - 2, (first - kInfimum) & 0xFFFF);

    stream_.next_in = const_cast<Bytef*>(raw_.data() + kPageData);
    stream_.avail_in = static_cast<uInt>(z - kPageData - 1);
    if (inflateInit2(&stream_, 15) != Z_OK) return "compressed page does not decompress";
    streamOpen_ = true;
    if (const char* why = DecodeFields()) return why;
    const size_t slot = kind_ == Kind::kNode        ? kDirSlotSize + kNodePointer
                        : kind_ == Kind::kClustered ? kDirSlotSize + kTrxRoll
                                                    : kDirSlotSize;
    if (dense_ * slot > stream_.avail_in) return "compressed page directory runs past the page";
    stream_.avail_in -= static_cast<uInt>(dense_ * slot);

    bool ended = false;
    if (const char* why = Records(ended)) return why;
    if (!ended) {
        // The last record's data and whatever lies after it up to the heap
        // top (space once of a longer record).
        const uint32_t top = LoadU16be(raw_, kPageHeader + kHeapTop);
        if (top < outPos_ || top > size - kPageTrailer)
            return "compressed page's heap top is wrong";
        stream_.next_out = out_.data() + outPos_;
        stream_.avail_out = top - outPos_;
        if (inflate(&stream_, Z_FINISH) != Z_STREAM_END)
            return "compressed page does not decompress";
        outPos_ = static_cast<uint32_t>(stream_.next_out - out_.data());
    }
    const size_t logStart = static_cast<size_t>(stream_.next_in - raw_.data());
    size_t logEnd = 0;
    if (const char* why = ApplyLog(logStart, logStart + stream_.avail_in + 1, logEnd)) return why;
    if (logEnd + dense_ * slot >= z) return "compressed page's change log overruns its directory";
    if (const char* why = RestoreColumns(logEnd)) return why;
    return LinkRecords();
}

const char* ZipDecoder::DecodeDirectory() {
    const size_t size = out_.size();
    const uint16_t slots = LoadU16be(raw_, kPageHeader + kDirSlots);
    size_t at = size - kPageTrailer - kDirSlotSize;
    StoreU16(out_, at, kInfimum);
    size_t written = 1;
    recs_.resize(dense_);
    for (size_t i = 0; i < dense_; ++i) {
        const uint16_t entry = DirEntry(i);
        const uint32_t offset = entry & kSlotMask;
        if (offset < kZipStart + kRecordHeader || offset >= size - kPageTrailer)
            return "compressed page directory points outside the page";
        if (i < userRecords_) {
            if (entry & kSlotOwned) {
                at -= kDirSlotSize;
                if (at < kZipStart) return "compressed page directory has too many slots";
                StoreU16(out_, at, offset);
                ++written;
            }
        } else if (entry & ~kSlotMask) {
            return "compressed page directory flags a free record";
        }
        recs_[i] = offset;
    }
    at -= kDirSlotSize;
    StoreU16(out_, at, kSupremum);
    ++written;
    if (written != slots) return "compressed page directory disagrees with the page header";
    std::sort(recs_.begin(), recs_.end());
    return nullptr;
}

const char* ZipDecoder::DecodeFields() {
    // The stream's first block describes the index: stop after the zlib
    // header, then after that block.
    stream_.next_out = out_.data() + kZipStart;
    stream_.avail_out = static_cast<uInt>(out_.size() - kZipStart);
    if (inflate(&stream_, Z_BLOCK) != Z_OK || inflate(&stream_, Z_BLOCK) != Z_OK)
        return "compressed page does not decompress";
    const uint8_t* b = out_.data() + kZipStart;
    const uint8_t* end = stream_.next_out;
    size_t count = 0;
    for (const uint8_t* p = b; p < end; ++count)
        if (*p++ & 0x80) ++p;
    if (count == 0 || count - 1 > kMaxFields) return "compressed page describes no index";
    const size_t n = count - 1;
    fields_.assign(n, ZipField{});
    uint32_t nullable = 0;
    const auto next = [&]() -> int { return b < end ? *b++ : -1; };
    for (size_t i = 0; i < n; ++i) {
        int value = next();
        if (value < 0) return "compressed page describes no index";
        ZipField& field = fields_[i];
        if (value & 0x80) {
            const int low = next();
            if (low < 0) return "compressed page describes no index";
            value = (value & 0x7F) << 8 | low;
            field.fixed = static_cast<uint32_t>(value >> 1);
        } else if (value >= 126) {
            field.big = true;
        } else if (value > 1) {
            field.fixed = static_cast<uint32_t>(value >> 1);
        }
        field.notNull = (value & 1) != 0;
        if (!field.notNull) ++nullable;
    }
    int value = next();
    if (value < 0) return "compressed page describes no index";
    if (value & 0x80) {
        const int low = next();
        if (low < 0) return "compressed page describes no index";
        value = (value & 0x7F) << 8 | low;
    }
    nullable_ = nullable;
    if (status_ == 0) {
        if (value == 0) {
            kind_ = Kind::kSecondary;
        } else {
            if (static_cast<size_t>(value) >= n) return "compressed page describes no index";
            kind_ = Kind::kClustered;
            trxField_ = static_cast<size_t>(value);
        }
    } else {
        kind_ = Kind::kNode;
        if (static_cast<uint32_t>(value) < nullable) return "compressed page describes no index";
        nullable_ = static_cast<uint32_t>(value);
    }
    shape_.ends.resize(n + 1);
    shape_.external.resize(n + 1);
    // The records overwrite the description.
    stream_.next_out = out_.data() + kZipStart;
    outPos_ = kZipStart;
    return nullptr;
}

template <typename ByteAt>
bool ZipDecoder::Shape(bool nodePointer, ByteAt byteAt, RecordShape& shape) const {
    const size_t n = fields_.size() + (nodePointer ? 1 : 0);
    const uint32_t nullBytes = (nullable_ + 7) / 8;
    uint32_t nullByte = 0;
    uint32_t mask = 1;
    uint32_t lens = nullBytes;
    uint32_t pos = 0;
    shape.anyExternal = false;
    for (size_t i = 0; i < n; ++i) {
        shape.external[i] = 0;
        uint32_t length = 0;
        if (i == fields_.size()) {
            length = kNodePointer;
        } else {
            const ZipField& field = fields_[i];
            bool null = false;
            if (!field.notNull) {
                if (mask == 0x100) {
                    ++nullByte;
                    mask = 1;
                }
                if (nullByte >= nullBytes) return false;
                const int bits = byteAt(nullByte);
                if (bits < 0) return false;
                null = (bits & mask) != 0;
                mask <<= 1;
            }
            if (null) {
                length = 0;
            } else if (field.fixed != 0) {
                length = field.fixed;
            } else {
                const int first = byteAt(lens++);
                if (first < 0) return false;
                length = static_cast<uint32_t>(first);
                if (field.big && (first & 0x80)) {
                    const int second = byteAt(lens++);
                    if (second < 0) return false;
                    length = static_cast<uint32_t>((first & 0x3F) << 8 | second);
                    if (first & 0x40) {
                        shape.external[i] = 1;
                        shape.anyExternal = true;
                    }
                }
            }
        }
        pos += length;
        shape.ends[i] = pos;
    }
    shape.extra = lens + kRecordHeader;
    shape.dataSize = pos;
    return true;
}

bool ZipDecoder::ShapeInPage(uint32_t rec, bool nodePointer, RecordShape& shape) const {
    const auto byteAt = [&](uint32_t k) -> int {
        const int64_t at = static_cast<int64_t>(rec) - kRecordHeader - 1 - k;
        return at >= kZipStart ? out_[static_cast<size_t>(at)] : -1;
    };
    if (!Shape(nodePointer, byteAt, shape)) return false;
    return rec + shape.dataSize <= out_.size() - kPageTrailer;
}

int ZipDecoder::InflateTo(uint32_t target) {
    if (target < outPos_ || target > out_.size()) return Z_DATA_ERROR;
    if (target == outPos_) return Z_OK;
    stream_.next_out = out_.data() + outPos_;
    stream_.avail_out = target - outPos_;
    const int result = inflate(&stream_, Z_SYNC_FLUSH);
    outPos_ = static_cast<uint32_t>(stream_.next_out - out_.data());
    if (result == Z_STREAM_END) return outPos_ == target ? Z_OK : Z_STREAM_END;
    if ((result == Z_OK || result == Z_BUF_ERROR) && outPos_ == target) return Z_OK;
    return Z_DATA_ERROR;
}

bool ZipDecoder::StartRecord(uint32_t rec) {
    if (outPos_ != rec - kRecordHeader) return false;
    StoreU16(out_, rec - 4, heapStatus_);
    outPos_ = rec;
    heapStatus_ += 1 << 3;
    return true;
}

const char* ZipDecoder::Records(bool& ended) {
    constexpr const char* kBroken = "compressed page does not decompress";
    for (size_t slot = 0; slot < dense_; ++slot) {
        const uint32_t rec = recs_[slot];
        const int result = InflateTo(rec - kRecordHeader);
        if (result == Z_STREAM_END) {
            // Records after this one were added since: the change log has them.
            StartRecord(rec);
            ended = true;
            return nullptr;
        }
        if (result != Z_OK || !StartRecord(rec)) return kBroken;
        if (kind_ == Kind::kSecondary) continue;
        if (!ShapeInPage(rec, kind_ == Kind::kNode, shape_)) return kBroken;
        if (kind_ == Kind::kNode) {
            if (InflateTo(rec + shape_.dataSize - kNodePointer) != Z_OK) return kBroken;
            outPos_ += kNodePointer;
            continue;
        }
        // The transaction id, roll pointer and off-page references are
        // stored after the directory: the stream skips them.
        for (size_t i = 0; i < fields_.size(); ++i) {
            const uint32_t start = rec + shape_.Start(i);
            const uint32_t length = shape_.ends[i] - shape_.Start(i);
            if (i == trxField_) {
                if (length < kTrxRoll || shape_.external[i]) return kBroken;
                if (InflateTo(start) != Z_OK) return kBroken;
                outPos_ += kTrxRoll;
            } else if (shape_.external[i]) {
                if (length < kExternRef) return kBroken;
                if (InflateTo(start + length - kExternRef) != Z_OK) return kBroken;
                outPos_ += kExternRef;
            }
        }
        if (InflateTo(rec + shape_.dataSize) != Z_OK) return kBroken;
    }
    return nullptr;
}

const char* ZipDecoder::ApplyLog(size_t start, size_t end, size_t& logEnd) {
    constexpr const char* kBroken = "compressed page's change log is damaged";
    const size_t size = out_.size();
    end = std::min(end, raw_.size());
    size_t at = start;
    // Every entry takes at least a byte: the walk ends.
    for (;;) {
        if (at >= end) return kBroken;
        uint32_t value = raw_[at++];
        if (value == 0) {
            logEnd = at - 1;
            return nullptr;
        }
        if (value & 0x80) {
            if (at >= end) return kBroken;
            value = (value & 0x7F) << 8 | raw_[at++];
            if (value == 0) return kBroken;
        }
        if (at >= end) return kBroken;
        const size_t heapIndex = value >> 1;
        if (heapIndex == 0 || heapIndex > dense_) return kBroken;
        const uint32_t rec = recs_[heapIndex - 1];
        const uint32_t hs = static_cast<uint32_t>((heapIndex + 1) << 3) | (heapStatus_ & 7);
        if (hs > heapStatus_) return kBroken;
        if (hs == heapStatus_) {
            if (value & 1) return kBroken;  // only records there before are cleared
            heapStatus_ += 1 << 3;
        }
        StoreU16(out_, rec - 4, hs);
        const bool nodePointer = (hs & 7) == kStatusNodePointer;
        if (value & 1) {
            if (!ShapeInPage(rec, nodePointer, shape_)) return kBroken;
            std::fill_n(out_.begin() + rec, shape_.dataSize, uint8_t{0});
            continue;
        }
        const size_t from = at;
        const auto byteAt = [&](uint32_t k) -> int { return from + k < end ? raw_[from + k] : -1; };
        if (!Shape(nodePointer, byteAt, shape_)) return kBroken;
        if (rec < kZipStart + shape_.extra || rec + shape_.dataSize > size - kPageTrailer)
            return kBroken;
        // The header bytes, stored from the origin outwards.
        for (uint32_t b = rec - kRecordHeader; b > rec - shape_.extra; --b)
            out_[b - 1] = raw_[at++];
        const auto copy = [&](uint32_t to, uint32_t length) {
            if (at + length >= end) return false;
            std::copy_n(raw_.begin() + at, length, out_.begin() + to);
            at += length;
            return true;
        };
        if (shape_.anyExternal) {
            if (nodePointer || kind_ != Kind::kClustered) return kBroken;
            uint32_t next = rec;
            for (size_t i = 0; i < fields_.size(); ++i) {
                const uint32_t fieldStart = rec + shape_.Start(i);
                const uint32_t length = shape_.ends[i] - shape_.Start(i);
                if (i == trxField_) {
                    if (length < kTrxRoll || shape_.external[i] || fieldStart < next ||
                        !copy(next, fieldStart - next))
                        return kBroken;
                    next = fieldStart + kTrxRoll;
                } else if (shape_.external[i]) {
                    if (length < kExternRef || fieldStart + length - kExternRef < next ||
                        !copy(next, fieldStart + length - kExternRef - next))
                        return kBroken;
                    next = fieldStart + length;
                }
            }
            if (rec + shape_.dataSize < next || !copy(next, rec + shape_.dataSize - next))
                return kBroken;
        } else if (nodePointer) {
            if (shape_.dataSize < kNodePointer || !copy(rec, shape_.dataSize - kNodePointer))
                return kBroken;
        } else if (kind_ != Kind::kClustered) {
            if (!copy(rec, shape_.dataSize)) return kBroken;
        } else {
            const uint32_t trxStart = shape_.Start(trxField_);
            const uint32_t length = shape_.ends[trxField_] - trxStart;
            if (length < kTrxRoll || !copy(rec, trxStart)) return kBroken;
            const uint32_t after = rec + trxStart + kTrxRoll;
            if (!copy(after, rec + shape_.dataSize - after)) return kBroken;
        }
    }
}

const char* ZipDecoder::RestoreColumns(size_t logEnd) {
    constexpr const char* kBroken = "compressed page's stored columns are damaged";
    if (kind_ == Kind::kSecondary) return nullptr;
    size_t storage = raw_.size() - dense_ * kDirSlotSize;
    if (kind_ == Kind::kNode) {
        for (size_t slot = 0; slot < dense_; ++slot) {
            if (!ShapeInPage(recs_[slot], true, shape_)) return kBroken;
            storage -= kNodePointer;
            std::copy_n(raw_.begin() + storage, kNodePointer,
                        out_.begin() + recs_[slot] + shape_.dataSize - kNodePointer);
        }
        return nullptr;
    }
    size_t externs = storage - dense_ * kTrxRoll;
    // Records on the free list keep no off-page references.
    std::vector<uint32_t> freeRecords;
    for (size_t i = userRecords_; i < dense_; ++i) freeRecords.push_back(DirEntry(i) & kSlotMask);
    std::sort(freeRecords.begin(), freeRecords.end());
    for (size_t slot = 0; slot < dense_; ++slot) {
        const uint32_t rec = recs_[slot];
        const bool free = std::binary_search(freeRecords.begin(), freeRecords.end(), rec);
        if (!ShapeInPage(rec, false, shape_)) return kBroken;
        const uint32_t trxStart = shape_.Start(trxField_);
        if (shape_.ends[trxField_] - trxStart < kTrxRoll) return kBroken;
        storage -= kTrxRoll;
        std::copy_n(raw_.begin() + storage, kTrxRoll, out_.begin() + rec + trxStart);
        if (!shape_.anyExternal) continue;
        for (size_t i = 0; i < fields_.size(); ++i) {
            if (!shape_.external[i]) continue;
            if (shape_.ends[i] - shape_.Start(i) < kExternRef) return kBroken;
            const size_t to = rec + shape_.ends[i] - kExternRef;
            if (free) {
                std::fill_n(out_.begin() + to, kExternRef, uint8_t{0});
                continue;
            }
            if (externs < logEnd + kExternRef) return kBroken;
            externs -= kExternRef;
            std::copy_n(raw_.begin() + externs, kExternRef, out_.begin() + to);
        }
    }
    return nullptr;
}

const char* ZipDecoder::LinkRecords() {
    constexpr const char* kBroken = "compressed page directory is damaged";
    uint8_t info = kind_ == Kind::kNode && LoadU32be(raw_, 8) == 0xFFFFFFFF ? kMinRecFlag : 0;
    uint32_t owned = 1;
    uint32_t rec = kInfimum;
    for (size_t i = 0; i < userRecords_; ++i) {
        const uint16_t entry = DirEntry(i);
        if (entry & kSlotDeleted) info |= kDeletedFlag;
        if (entry & kSlotOwned) {
            info |= static_cast<uint8_t>(std::min<uint32_t>(owned, 15));
            owned = 1;
        } else {
            ++owned;
        }
        const uint32_t next = entry & kSlotMask;
        StoreU16(out_, rec - 2, (next - rec) & 0xFFFF);
        rec = next;
        out_[rec - kRecordHeader] = info;
        info = 0;
    }
    StoreU16(out_, rec - 2, (kSupremum - rec) & 0xFFFF);
    out_[kSupremum - kRecordHeader] = static_cast<uint8_t>(std::min<uint32_t>(owned, 15));
    if (userRecords_ == dense_) return nullptr;
    // The free list: records deleted and not yet reused.
    for (size_t i = userRecords_; i < dense_; ++i) {
        const uint32_t offset = DirEntry(i) & kSlotMask;
        if (offset == 0) return kBroken;
        if (i > userRecords_) StoreU16(out_, rec - 2, (offset - rec) & 0xFFFF);
        rec = offset;
        out_[rec - kRecordHeader] = 0;
    }
    StoreU16(out_, rec - 2, 0);
    return nullptr;
}

uint32_t ZipCrc32(ByteSpan raw) {
    return Crc32c(raw.subspan(kOffsetField, kLsnField - kOffsetField)) ^
           Crc32c(raw.subspan(kTypeField, 2)) ^ Crc32c(raw.subspan(kSpaceIdField));
}

uint32_t ZipAdler(ByteSpan raw) {
    uLong adler = adler32(0L, raw.data() + kOffsetField, kLsnField - kOffsetField);
    adler = adler32(adler, raw.data() + kTypeField, 2);
    adler =
        adler32(adler, raw.data() + kSpaceIdField, static_cast<uInt>(raw.size() - kSpaceIdField));
    return static_cast<uint32_t>(adler);
}

}  // namespace

uint32_t ZipPageSize(uint32_t spaceFlags) {
    // Full_crc32 flags never go with compressed rows.
    if (spaceFlags & (1u << 4)) return 0;
    const uint32_t shift = (spaceFlags >> 1) & 0xF;
    return shift >= 1 && shift <= 5 ? 512u << shift : 0;
}

bool IsZipIndexPageType(uint16_t type) {
    return type == 17855 || type == 17854 || type == 17853;
}

bool ZipChecksumSound(ByteSpan raw) {
    if (raw.size() <= kSpaceIdField) return false;
    const uint32_t stored = LoadU32be(raw, 0);
    if (stored == kNoChecksum) return true;
    if (stored == ZipCrc32(raw) || stored == ZipAdler(raw)) return true;
    return std::all_of(raw.begin(), raw.end(), [](uint8_t b) { return b == 0; });
}

ZipPageResult DecompressZipPage(ByteSpan raw, std::span<uint8_t> out) {
    ZipPageResult result;
    const size_t z = raw.size();
    if (z < 1024 || z > 16384 || (z & (z - 1)) != 0 || out.size() < z || out.size() > 16384 ||
        (out.size() & (out.size() - 1)) != 0) {
        result.why = "compressed page of a size InnoDB does not write";
        return result;
    }
    result.checksumSound = ZipChecksumSound(raw);
    ZipDecoder decoder(raw, out);
    if (const char* why = decoder.Run()) {
        result.why = why;
        return result;
    }
    // A trailer and checksum of the page's own, in the crc32 layout: sound
    // when the compressed page's was, wrong otherwise.
    const size_t size = out.size();
    StoreU32(out, size - 4, LoadU32be(raw, kLsnField + 4));
    uint32_t crc = Crc32c(ByteSpan(out).subspan(4, 26 - 4)) ^
                   Crc32c(ByteSpan(out).subspan(kPageHeader, size - kPageHeader - kPageTrailer));
    if (!result.checksumSound) crc ^= 1;
    StoreU32(out, 0, crc);
    StoreU32(out, size - kPageTrailer, crc);
    result.done = true;
    return result;
}

}  // namespace brix
