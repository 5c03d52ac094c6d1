#include "schema/table_def.h"

namespace brix {

void CTableDef::Reset() {
    allEnumValues.clear();
    columns.clear();
    keys.clear();
    myisamColumns.clear();
}

}  // namespace brix
