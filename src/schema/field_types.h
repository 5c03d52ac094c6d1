#pragma once

#include <cstddef>
#include <cstdint>

namespace brix {

// MySQL's field type codes, as stored in .frm column records.
namespace FieldType {
inline constexpr int kDecimal = 0;  // ASCII digits; the DECIMAL of servers before 5.0.3
inline constexpr int kTiny = 1;
inline constexpr int kShort = 2;
inline constexpr int kLong = 3;
inline constexpr int kFloat = 4;
inline constexpr int kDouble = 5;
inline constexpr int kNull = 6;
inline constexpr int kTimestamp = 7;
inline constexpr int kLongLong = 8;
inline constexpr int kInt24 = 9;
inline constexpr int kDate = 10;  // four-byte integer YYYYMMDD of very old servers
inline constexpr int kTime = 11;
inline constexpr int kDateTime = 12;
inline constexpr int kYear = 13;
inline constexpr int kNewDate = 14;
inline constexpr int kVarchar = 15;
inline constexpr int kBit = 16;
inline constexpr int kTimestamp2 = 17;
inline constexpr int kDateTime2 = 18;
inline constexpr int kTime2 = 19;
inline constexpr int kJson = 245;  // MySQL's binary JSON, stored like a LONGBLOB
inline constexpr int kNewDecimal = 246;
inline constexpr int kEnum = 247;
inline constexpr int kSet = 248;
inline constexpr int kTinyBlob = 249;
inline constexpr int kMediumBlob = 250;
inline constexpr int kLongBlob = 251;
inline constexpr int kBlob = 252;
inline constexpr int kVarString = 253;
inline constexpr int kString = 254;
inline constexpr int kGeometry = 255;
}  // namespace FieldType

// Character-set number of the binary character set.
inline constexpr int kBinaryCharset = 63;

inline bool IsBlobType(int type) {
    return type >= FieldType::kTinyBlob && type <= FieldType::kBlob;
}

inline bool IsStringType(int type) {
    return type == FieldType::kVarchar || type == FieldType::kVarString ||
           type == FieldType::kString;
}

// Types whose stored form is an integer, a float or a decimal number.
inline bool IsNumericType(int type) {
    switch (type) {
        case FieldType::kDecimal:
        case FieldType::kTiny:
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kFloat:
        case FieldType::kDouble:
        case FieldType::kLongLong:
        case FieldType::kInt24:
        case FieldType::kNewDecimal:
            return true;
        default:
            return false;
    }
}

// Bytes of the length before the data of a BLOB-type field in a row image.
inline size_t BlobLengthBytes(int type) {
    switch (type) {
        case FieldType::kTinyBlob:
            return 1;
        case FieldType::kBlob:
            return 2;
        case FieldType::kMediumBlob:
            return 3;
        default:
            return 4;  // LONGBLOB and spatial values
    }
}

}  // namespace brix
