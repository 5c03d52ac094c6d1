// MySQL's binary JSON on any bytes: containers of both sizes, their offsets,
// keys and nesting, strings, numbers, dates, decimals and other opaque
// values. The renderer takes the bytes in memory, so no file is written.

#include <cstddef>
#include <cstdint>
#include <string>

#include "values/json_binary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    const bool ok = brix::AppendJsonBinary(text, brix::ByteSpan(data, size));
    (void)ok;
    return 0;
}
