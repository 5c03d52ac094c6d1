// A MySQL 8.0+ data directory on any bytes: the bytes as mysql.ibd, whose
// dictionary tables give the views and triggers, and as a table's tablespace
// and .sdi file in a database folder, which the catalogue lists.

#include "catalogue/dictionary_objects.h"
#include "catalogue/tablespace_catalogue.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::filesystem::path mysqlIbd = fuzz::ScratchDir() / "mysql.ibd";
    fuzz::PutInMemory(mysqlIbd, data, size);
    const CDictionaryObjects objects = ReadDictionaryObjects(mysqlIbd, fuzz::App());
    for (const CDictionaryView& view : objects.views) (void)DictionaryViewText(view);
    if (!objects.triggers.empty()) (void)DictionaryTriggerText(objects.triggers, 0);

    const std::filesystem::path folder = fuzz::ScratchDir() / "mysql8_db";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    fuzz::PutInMemory(folder / "t#p#p0.ibd", data, size);
    fuzz::WriteBytes(folder / "u_1.sdi", data, size);
    (void)FindTablespaceTables(folder, fuzz::App(), {});
    return 0;
}
