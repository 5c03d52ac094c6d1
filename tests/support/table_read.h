#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/damage_report.h"
#include "browse/table_rows.h"
#include "support/expected_rows.h"

namespace brix {
class CInnoDictionary;
}

namespace brix::test {

// Everything CTableRows gave for one table: how Open ended, every row of
// every window (values spilled to files read back and rendered), and what
// it reported as damage.
struct TableRead {
    OpenRowsResult result = OpenRowsResult::kOk;
    std::vector<ReadRow> rows;
    std::vector<DamageFinding> findings;
};

// Opens folder/name with a fresh test state and reads window after window to
// the end (at most 10 000 windows, so a reader that never ends fails the
// test instead of hanging it); with deleted, its deleted rows.
TableRead ReadWholeTable(const std::filesystem::path& folder, const std::string& name,
                         bool exportMode, const std::filesystem::path& spillFolder,
                         const CInnoDictionary* dictionary = nullptr, bool deleted = false);

}  // namespace brix::test
