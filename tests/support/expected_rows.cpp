#include "support/expected_rows.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "app/text.h"
#include "support/test_support.h"

namespace brix::test {

namespace {

bool IsBinaryType(const std::string& t) {
    return t == "binary" || t == "varbinary" || t == "tinyblob" || t == "blob" ||
           t == "mediumblob" || t == "longblob";
}

bool IsSpatialType(const std::string& t) {
    return t == "geometry" || t == "point" || t == "linestring" || t == "polygon" ||
           t == "multipoint" || t == "multilinestring" || t == "multipolygon" ||
           t == "geometrycollection";
}

bool IsTextBlobType(const std::string& t) {
    return t == "tinytext" || t == "text" || t == "mediumtext" || t == "longtext";
}

// Bytes a value of the expected text (UTF-8) takes in the column's character set.
size_t StoredLength(const std::string& utf8, const std::string& charset) {
    if (charset.rfind("utf8", 0) == 0) return utf8.size();
    const size_t units = Utf8ToUtf16(utf8).size();
    if (charset == "ucs2" || charset == "utf16" || charset == "utf16le") return 2 * units;
    if (charset == "utf32") return 4 * units;
    return units;
}

std::string Hex(const std::string& upperHex) {
    return upperHex.empty() ? "" : "0x" + upperHex;
}

bool NearlyEqual(double a, double b, double relative, double absolute) {
    if (a == b) return true;
    return std::fabs(a - b) <= absolute + relative * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace

ExpectedTable LoadExpectedTable(const std::string& database, const std::string& name) {
    return LoadExpectedTableFrom(FixtureExpectedDir() / database, database, name);
}

ExpectedTable LoadExpectedTableFrom(const std::filesystem::path& dir, const std::string& database,
                                    const std::string& name) {
    ExpectedTable t;
    t.database = database;
    t.name = name;
    // The fields are found by the header's names: the MySQL sets name the
    // column's position too, which moves the type and character set on.
    size_t typeField = 3;
    size_t charsetField = 10;
    for (const auto& row : ReadTsv(dir / (name + ".columns.tsv"))) {
        if (row[0] == "COLUMN_NAME") {
            for (size_t i = 0; i < row.size(); ++i) {
                if (row[i] == "DATA_TYPE") typeField = i;
                if (row[i] == "CHARACTER_SET_NAME") charsetField = i;
            }
            continue;
        }
        t.columnNames.push_back(row[0]);
        t.dataTypes.push_back(row.at(typeField));
        t.charsets.push_back(row.at(charsetField));
    }
    auto rows = ReadTsv(dir / (name + ".select.tsv"));
    if (!rows.empty()) rows.erase(rows.begin());  // the header line
    t.rows = std::move(rows);
    return t;
}

std::vector<ExpectedTable> FixtureTables() {
    std::vector<ExpectedTable> tables;
    const auto list = ReadTsv(FixtureExpectedDir() / "tables.tsv");
    for (size_t i = 1; i < list.size(); ++i) {
        ExpectedTable t = LoadExpectedTable(list[i][0], list[i][1]);
        t.engine = list[i][2];
        t.rowFormat = list[i][3];
        tables.push_back(std::move(t));
    }
    return tables;
}

void AppendWindowRows(const CRowWindow& window, std::vector<ReadRow>& rows) {
    for (size_t r = 0; r < window.rowCount(); ++r) {
        ReadRow row;
        for (size_t c = 0; c < window.columnCount(); ++c) {
            row.texts.push_back(Utf16ToUtf8(window.Text(r, c)));
            row.nulls.push_back(window.IsNull(r, c));
        }
        rows.push_back(std::move(row));
    }
}

std::vector<std::string> CompareRows(const ExpectedTable& expected, const std::vector<ReadRow>& got,
                                     bool exportMode, bool innodb) {
    std::vector<std::string> problems;
    auto problem = [&](size_t r, size_t c, const std::string& want, const std::string& have) {
        std::ostringstream s;
        s << expected.database << "." << expected.name << " row " << r + 1 << " column "
          << expected.columnNames[c] << ": server " << want.substr(0, 80) << ", read "
          << have.substr(0, 80);
        problems.push_back(s.str());
    };
    if (got.size() != expected.rows.size()) {
        problems.push_back(expected.database + "." + expected.name + ": server has " +
                           std::to_string(expected.rows.size()) + " rows, read " +
                           std::to_string(got.size()));
        return problems;
    }
    for (size_t r = 0; r < got.size(); ++r) {
        for (size_t c = 0; c < expected.columnNames.size(); ++c) {
            const std::string& want = expected.rows[r][c];
            const std::string& have = got[r].texts[c];
            // InnoDB shows a placeholder for a value it keeps off the record,
            // which only a value longer than the reference to it can be.
            auto offPage = [&](size_t bytes) {
                return innodb && !exportMode && bytes > 20 && have == "Large Size Blob Data";
            };
            const std::string& type = expected.dataTypes[c];
            if (want == "NULL") {
                if (!got[r].nulls[c]) problem(r, c, "NULL", have);
                continue;
            }
            if (got[r].nulls[c]) {
                problem(r, c, want, "NULL");
                continue;
            }
            std::string expect = want;
            if (IsSpatialType(type)) {
                expect = exportMode ? Hex(want) : "Spatial Data";
            } else if (IsBinaryType(type)) {
                const size_t bytes = want.size() / 2;
                expect = Hex(want);
                const bool blob = type.find("blob") != std::string::npos;
                if (!exportMode && !innodb && blob && bytes >= 1000) expect = "Large Blob Data";
                if (!exportMode && !blob && bytes >= 100) expect = "0x<Binarydata>";
                if (offPage(bytes)) continue;
            } else if (IsTextBlobType(type) || type == "varchar") {
                const size_t bytes = StoredLength(want, expected.charsets[c]);
                if (!exportMode && !innodb && type != "varchar" && bytes >= 1000)
                    expect = "Large Blob Data";
                if (offPage(bytes)) continue;
            } else if (type == "float" || type == "double") {
                const double a = std::strtod(want.c_str(), nullptr);
                const double b = std::strtod(have.c_str(), nullptr);
                // The server shows FLOAT with six significant digits; display
                // mode shows six decimals.
                const double relative = type == "float" ? 1e-5 : (exportMode ? 1e-15 : 1e-9);
                const double absolute = exportMode ? 0 : 1e-6;
                if (!NearlyEqual(a, b, relative, absolute)) problem(r, c, want, have);
                continue;
            }
            if (!exportMode && expect.find('\0') != std::string::npos && !IsBinaryType(type))
                expect = expect.substr(0, expect.find('\0'));  // display ends text at a zero
            if (have != expect) problem(r, c, expect, have);
        }
    }
    return problems;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string InformationSchemaGridType(const std::vector<std::string>& e) {
    const std::string& dataType = e[4];
    if (dataType == "geomcollection") return "geometrycollection";
    if (dataType == "enum" || dataType == "set") return Lower(e[5]);
    if (dataType == "char" || dataType == "varchar" || dataType == "binary" ||
        dataType == "varbinary" || dataType == "decimal" || dataType == "bit" ||
        dataType == "float" || dataType == "double")
        return Lower(e[5].substr(0, e[5].find(' ')));
    return dataType;
}

}  // namespace brix::test
