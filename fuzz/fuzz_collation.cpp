// The collation table file, on any bytes.

#include "app/collation_table.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path file = fuzz::ScratchDir() / "collation (2)";
    fuzz::WriteBytes(file, data, size);
    (void)LoadCollations(file, fuzz::App().decoders().Ansi());
    return 0;
}
