#pragma once

#include <string>

#include "app/byte_reader.h"

namespace brix {

// Levels of nested arrays and objects the server allows in a document.
inline constexpr int kMaxJsonDepth = 100;

// Appends the text MySQL prints for a JSON column's value, from the binary
// form it stores: a type byte, then the value. Objects as {"key": value, ...}
// with their keys in stored order, arrays as [a, b], strings quoted with the
// server's escapes (\" \\ \b \f \n \r \t, \u00xx for the other control
// characters, everything else as it is), integers, doubles in the server's
// shortest form ("1.5", "10000000000.0", "1e100"), true/false/null, dates and
// times as quoted "YYYY-MM-DD hh:mm:ss.ffffff" texts, decimals as numbers and
// other opaque values as "base64:typeN:..." texts. An empty value is the null
// literal, as the server reads it.
//
// Damaged bytes never make it read outside bytes: offsets and lengths are
// checked against the value that holds them, nesting stops after
// kMaxJsonDepth levels and the text after a fixed multiple of the input's
// size (values that share bytes through their offsets cannot make it grow
// beyond that). Returns false when the value is damaged; out then holds the
// text of what came before the damage.
bool AppendJsonBinary(std::u16string& out, ByteSpan bytes);

}  // namespace brix
