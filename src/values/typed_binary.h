#pragma once

#include <string>

#include "app/byte_reader.h"
#include "schema/table_def.h"

namespace brix {

// Appends a value of one of MariaDB's binary-stored types as the server shows
// it: a UUID in its 8-4-4-4-12 form, an INET6 address in the shortest form
// (the longest run of two or more zero groups as "::", the first of equal
// runs; IPv4-mapped and -compatible addresses end in dotted decimal), an INET4
// address in dotted decimal. Bytes the value lacks read as zero.
void AppendTypedBinary(std::u16string& out, ColumnDataType type, ByteSpan bytes);

}  // namespace brix
