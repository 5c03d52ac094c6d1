#include "support/table_read.h"

#include "app/text.h"
#include "support/test_support.h"
#include "values/read_options.h"

namespace brix::test {

TableRead ReadWholeTable(const std::filesystem::path& folder, const std::string& name,
                         bool exportMode, const std::filesystem::path& spillFolder,
                         const CInnoDictionary* dictionary, bool deleted) {
    const std::unique_ptr<CAppState> app = NewTestApp();
    CDamageReport report;
    CReadOptions options;
    options.exportMode = exportMode;
    options.spillFolder = spillFolder;
    options.damage = &report;
    options.deleted = deleted;
    CTableRows table;
    TableRead read;
    read.result = table.Open(folder, Utf8ToUtf16(name), *app, options, dictionary);
    std::u16string spilled;
    for (int windows = 0; windows < 10000; ++windows) {
        const CRowWindow& window = table.rows();
        for (size_t r = 0; r < window.rowCount(); ++r) {
            ReadRow row;
            for (size_t c = 0; c < window.columnCount(); ++c) {
                std::u16string_view text = window.Text(r, c);
                if (window.IsSpilled(r, c)) {
                    spilled.clear();
                    RenderSpilledValue(table.table(), c, std::filesystem::path(text), *app,
                                       spilled);
                    text = spilled;
                }
                row.texts.push_back(Utf16ToUtf8(text));
                row.nulls.push_back(window.IsNull(r, c));
            }
            read.rows.push_back(std::move(row));
        }
        if (!table.ReadNextWindow(*app)) break;
    }
    read.findings = report.Findings();
    return read;
}

}  // namespace brix::test
