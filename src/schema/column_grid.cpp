#include "schema/column_grid.h"

#include "app/text.h"
#include "schema/column_type_text.h"

namespace brix {

std::array<std::u16string, 5> ColumnGridRow(const CColumnDef& column, int32_t tableCharset,
                                            const CollationTable& collations) {
    std::u16string key;
    if (column.inPrimaryKey) {
        key = u"Primary Key";
    } else if (column.inUniqueKey) {
        key = u"Unique Key";
    }
    return {column.name, ColumnTypeText(column, tableCharset, collations),
            WidenAscii(std::to_string(column.length)), column.nullable ? u"True" : u"False", key};
}

}  // namespace brix
