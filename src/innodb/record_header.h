#pragma once

#include <cstddef>
#include <cstdint>

#include "app/byte_reader.h"

namespace brix {

// The fixed part of a compact record's header: the five bytes just below its
// origin (info bits, heap number and status, the link to the next record).
inline constexpr uint32_t kCompactExtraBytes = 5;

// Walks the header of a compact record downwards from its origin: below the
// five fixed bytes the count of fields added in place (records written after
// such a change), then the null bitmap (one bit per nullable field, the first
// field in the lowest bit of the highest byte), then one or two length bytes
// per variable-length field that is not NULL. Beside it, the data offset
// goes up from the origin by the length of each field taken.
//
// Every read is checked against the page: a header or data that would reach
// outside it makes the step fail, and the record is damaged. A small value
// with no allocation, built once per record.
class CompactHeaderCursor {
  public:
    // A cursor over the record at origin. An origin that leaves no room for
    // the fixed bytes, or lies past the page, gives a cursor every step of
    // which fails.
    CompactHeaderCursor(ByteSpan page, uint32_t origin)
        : page_(page.data()), size_(page.size()), origin_(origin), data_(origin) {
        if (origin < kCompactExtraBytes || origin > page.size()) {
            // Nothing to read, no data to take.
            size_ = 0;
            origin_ = data_ = 0;
            return;
        }
        header_ = origin - kCompactExtraBytes;
    }

    bool valid() const { return size_ != 0; }

    // The count of fields a record written after columns were added in place
    // holds beyond the core ones, less one: one byte, or two when the first
    // has its high bit set.
    bool ReadAddedFieldCount(size_t& added) {
        if (header_ < 1) return false;
        added = page_[--header_];
        if (added & 0x80) {
            if (header_ < 1) return false;
            added = (added & 0x7F) | static_cast<size_t>(page_[--header_]) << 7;
        }
        return true;
    }

    // The number of fields a record of MySQL 8.0.12 to 8.0.28 written after
    // columns were added in place holds, system fields included: one byte
    // below 128, else two, the first with its high bit set and the high bits
    // of the count below it, the next with the low eight bits.
    bool ReadFieldCount(size_t& count) {
        if (header_ < 1) return false;
        count = page_[--header_];
        if (count & 0x80) {
            if (header_ < 1) return false;
            count = (count & 0x7F) << 8 | page_[--header_];
        }
        return true;
    }

    // The version of the table's layout a record written after columns were
    // added or dropped in place (MySQL 8.0.29 and later) was written in: one
    // byte.
    bool ReadRowVersion(uint32_t& version) {
        if (header_ < 1) return false;
        version = page_[--header_];
        return true;
    }

    // Places the null bitmap of nullable fields below what was read so far;
    // the length bytes start below it.
    bool BeginNullBitmap(size_t nullable) {
        const size_t bytes = (nullable + 7) / 8;
        if (!valid() || header_ < bytes) return false;
        nullLeft_ = nullable;
        nullByte_ = header_ - 1;
        header_ -= bytes;
        return true;
    }

    // The next nullable field's bit. False past the bitmap.
    bool NextNull(bool& isNull) {
        if (nullLeft_ == 0) return false;
        --nullLeft_;
        isNull = (page_[nullByte_] & nullMask_) != 0;
        nullMask_ <<= 1;
        if (nullMask_ == 0x100) {  // the next byte down; past the last one nothing is read
            nullMask_ = 1;
            --nullByte_;
        }
        return true;
    }

    // The length of the next variable-length field: one byte, or for a field
    // that can hold more than 255 bytes two when the first has its 0x80 bit
    // set, of which the 0x40 bit says the data ends with a reference to
    // off-page data and the low 14 bits are the length.
    bool NextLength(bool big, uint32_t& length, bool& external) {
        if (header_ < 1) return false;
        const uint8_t b1 = page_[--header_];
        external = false;
        if (big && (b1 & 0x80)) {
            if (header_ < 1) return false;
            const uint8_t b2 = page_[--header_];
            length = (static_cast<uint32_t>(b1) << 8 | b2) & 0x3FFF;
            external = (b1 & 0x40) != 0;
            return true;
        }
        length = b1;
        return true;
    }

    // Takes length bytes of data after those taken so far; start is where
    // they begin. False when they would reach past the page (the data of
    // a cursor that is not valid is empty: it can only take nothing).
    bool TakeData(size_t length, uint32_t& start) {
        if (length > size_ - data_) return false;
        start = data_;
        data_ += static_cast<uint32_t>(length);
        return true;
    }

    uint32_t origin() const { return origin_; }
    // Where the next data byte lies.
    uint32_t dataEnd() const { return data_; }
    // Data bytes taken so far.
    uint32_t dataTaken() const { return data_ - origin_; }
    // The lowest header byte read so far: once every field is placed, where
    // the record starts.
    uint32_t headerStart() const { return static_cast<uint32_t>(header_); }

  private:
    const uint8_t* page_;
    size_t size_;
    uint32_t origin_;
    uint32_t data_;
    size_t header_ = 0;    // the header byte read last; the next lies below it
    size_t nullLeft_ = 0;  // bits of the bitmap not read yet
    size_t nullByte_ = 0;  // the bitmap byte of the next bit
    unsigned nullMask_ = 1;
};

}  // namespace brix
