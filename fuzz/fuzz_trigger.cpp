// A .TRG trigger file, on any bytes: in display and in save-as-script mode.

#include "catalogue/trigger_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path trg = fuzz::ScratchDir() / "t.TRG";
    fuzz::WriteBytes(trg, data, size);
    CAppState& app = fuzz::App();
    for (uint8_t script : {0, 1}) {
        app.saveAsScript = script;
        (void)TriggerText(trg, app);
    }
    app.saveAsScript = 0;
    return 0;
}
