// The .MYI header of a real table definition, on any bytes.

#include "fuzz_support.h"
#include "myisam/myisam_header.h"
#include "schema/frm_reader.h"

namespace {
const char* const kTables[] = {"types/ints_fixed", "types/strings_dyn", "types/bits_dyn",
                               "paging/my_churn_dyn", "paging/my_packed"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::string name = fuzz::Pick(data, size, kTables);
    CTableDef table;
    ReadTableDefinition(table, fuzz::FixtureFile(name + ".frm"), fuzz::App());
    const std::filesystem::path myi = fuzz::ScratchDir() / "t.MYI";
    fuzz::WriteBytes(myi, data, size);
    CMyisamHeader header;
    std::string unusable;
    ReadMyisamHeader(table, header, myi, &unusable);
    if (!unusable.empty()) MyisamHeaderFromDefinition(table, header);
    return 0;
}
