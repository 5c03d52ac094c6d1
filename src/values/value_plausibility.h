#pragma once

#include "app/byte_reader.h"
#include "schema/table_def.h"
#include "values/value_render.h"

namespace brix {

// Whether bytes can be a value the column holds, for readers that find
// records nobody vouches for (deleted rows): a DECIMAL's digit groups below
// their limits, a date or time whose fields are in range, an ENUM index that
// names a member, a SET without bits past its members, a FLOAT or DOUBLE
// that is a number, text that decodes in the column's character set without
// a zero or an invalid character and fits the column. bytes are the value as
// RenderMyIsamValue takes it (little-endian integers, string data without
// its length). Types whose every byte pattern is a value (integers, YEAR,
// BIT, binary strings, TIMESTAMP seconds) are always plausible. Never reads
// outside bytes; a value shorter than its type is not plausible.
bool PlausibleStoredValue(const CColumnDef& column, ByteSpan bytes, const RenderContext& context);

}  // namespace brix
