// Serialized dictionary information of MySQL 8.0+ tablespaces, on any bytes:
// the tablespace flags, the SDI header, the descent and leaf walk of the SDI
// index, off-page chains on SDI BLOB pages and zlib inflation. The reader
// takes the bytes in memory, so no file is written.

#include <cstddef>
#include <cstdint>

#include "sdi/sdi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    brix::CDamageReport report;
    const brix::SdiReadResult result = brix::ReadSdi(brix::ByteSpan(data, size), &report);
    (void)result;
    (void)report.Count();
    return 0;
}
