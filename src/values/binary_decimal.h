#pragma once

#include <string>

#include "app/byte_reader.h"

namespace brix {

// Stored size in bytes of a binary DECIMAL(precision, scale).
size_t BinaryDecimalSize(int precision, int scale);

// The most digits a DECIMAL column holds.
inline constexpr int kMaxDecimalPrecision = 65;
// The most digits a decimal inside a JSON value is stored with: the server
// counts its integer digits in whole groups of nine there (nine groups at most).
inline constexpr int kMaxStoredDecimalPrecision = 81;

// Appends the text of a value in MySQL's binary DECIMAL format: groups of nine
// digits in four big-endian bytes, a shorter group for leftover digits, the top
// bit of the first byte inverted as the sign and every byte inverted for
// negative values. Shows exactly scale digits after the point. A group beyond
// its range, a scale above the precision or a precision above maxPrecision
// (damaged data) gives "0". Missing bytes read as zero.
void AppendBinaryDecimal(std::u16string& out, ByteSpan bytes, int precision, int scale,
                         int maxPrecision = kMaxDecimalPrecision);
std::u16string FormatBinaryDecimal(ByteSpan bytes, int precision, int scale);

}  // namespace brix
