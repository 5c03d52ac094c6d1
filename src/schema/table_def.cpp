#include "schema/table_def.h"

namespace brix {

const std::u16string& CSharedText::str() const {
    static const std::u16string empty;
    return text_ ? *text_ : empty;
}

void CTableDef::Reset() {
    allEnumValues.clear();
    columns.clear();
    keys.clear();
    partitioning.clear();
    foreignKeys.clear();
    checks.clear();
    engineOptions.clear();
    nextAutoIncrement = 0;
}

}  // namespace brix
