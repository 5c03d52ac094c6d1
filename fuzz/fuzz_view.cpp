// The text of a view's .frm, on any bytes.

#include "app/damage_report.h"
#include "catalogue/view_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path frm = fuzz::ScratchDir() / "v.frm";
    fuzz::WriteBytes(frm, data, size);
    (void)ViewText(frm, fuzz::App());
    CDamageReport damage;
    (void)ReadViewDefinition(frm, fuzz::App(), &damage);
    return 0;
}
