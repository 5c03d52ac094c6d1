#pragma once

#include <cstdint>
#include <string>

#include "app/byte_reader.h"
#include "schema/table_def.h"

namespace brix {

// Digits after the point of a TIME, DATETIME or TIMESTAMP column (0 to 6),
// from its display length: 10 or 19 characters without a fraction, plus the
// point and the digits with one.
int TemporalFractionDigits(const CColumnDef& column);

// Stored bytes of a DATE, TIME, DATETIME, TIMESTAMP or YEAR value of the
// column; 0 for other types.
size_t TemporalWidth(const CColumnDef& column);

// Appends the text of a temporal value as the server shows it, from the
// layout that the column's field type selects:
// - DATE (3 bytes, day | month << 5 | year << 9) and the 4-byte DATE of old
//   servers (YYYYMMDD);
// - old TIME (signed 24-bit hhmmss), old DATETIME (64-bit YYYYMMDDhhmmss),
//   old TIMESTAMP (32-bit seconds), all little-endian, and their variants with
//   a fraction (big-endian counts of fractions of a second);
// - the big-endian TIME2, DATETIME2 and TIMESTAMP2 layouts with their
//   fraction bytes;
// - YEAR (the byte plus 1900; 0 is 0000).
// Years have four digits; TIMESTAMPs are shown in local time (in UTC with
// utc set), a zero TIMESTAMP as 0000-00-00 00:00:00. Missing bytes read as
// zero.
void AppendTemporalValue(std::u16string& out, const CColumnDef& column, ByteSpan bytes,
                         bool utc = false);

// YYYYMMDDhhmmss as YYYY-MM-DD hh:mm:ss.
std::u16string FormatIntegerDateTime(uint64_t value);

// year-month-day hour:minute:second, every part at least two digits and the
// year at least four (negative parts keep their sign: -1 stays -1).
std::u16string FormatDateTimeParts(int year, int month, int day, int hour, int minute, int second);

}  // namespace brix
