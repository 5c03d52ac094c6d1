#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/byte_reader.h"
#include "schema/table_def.h"
#include "values/value_render.h"

namespace brix {

// Appends the text the server shows for a value of column whose field in a
// CSV data file is text (escapes undone): numbers, DECIMAL and temporal
// values as written (the server writes what it shows); FLOAT and DOUBLE
// through the float renderer, as the other engines' values are; BIT from
// the raw bytes the server writes for it; ENUM and SET member names and
// strings in the column's character set, binary strings as the renderers
// show them. scratch is a buffer kept between calls. Returns false, with
// out as it was, when the text cannot be a value of the column (a number
// column's text is no number): the server refuses such a line.
bool AppendCsvValue(const CColumnDef& column, ByteSpan text, const RenderContext& context,
                    std::vector<uint8_t>& scratch, std::u16string& out);

}  // namespace brix
