#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brix::test {

// The rows output of the console program in JSON: {"columns":[...],"rows":[[...]]}.
struct JsonRows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;  // nullopt for null
};

// Parses that one shape of JSON (strings, null, arrays, the two keys); throws
// std::runtime_error on anything else, so a malformed output fails the test.
JsonRows ParseJsonRows(const std::string& text);

}  // namespace brix::test
