// A .TRG trigger file, on any bytes.

#include "app/damage_report.h"
#include "catalogue/trigger_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path trg = fuzz::ScratchDir() / "t.TRG";
    fuzz::WriteBytes(trg, data, size);
    (void)TriggerText(trg, fuzz::App());
    CDamageReport damage;
    (void)ReadTriggerFile(trg, fuzz::App(), &damage);
    return 0;
}
