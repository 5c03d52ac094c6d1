// A system tablespace on any bytes: the dictionary tables, then the rows of
// tables that live in it, found through that dictionary.

#include "fuzz_support.h"
#include "innodb/dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path ibdata = fuzz::ScratchDir() / "ibdata1";
    fuzz::PutInMemory(ibdata, data, size);
    CInnoDictionary dictionary;
    CDamageReport report;
    dictionary.Open(ibdata, fuzz::App(), &report);
    for (const char* name : {"formats/sys_t", "formats/sys_redundant_t"}) {
        const std::filesystem::path path = fuzz::FixtureFile(name);
        fuzz::ReadEveryWindow(path.parent_path(), path.filename().u16string(), &dictionary);
    }
    return 0;
}
