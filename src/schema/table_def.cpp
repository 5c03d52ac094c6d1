#include "schema/table_def.h"

namespace brix {

void CTableDef::Reset() {
    allEnumValues.clear();
    columns.clear();
    keys.clear();
    myisamColumns.clear();
    inno.physicalColumns.clear();
    inno.coreFields = 0;
}

}  // namespace brix
