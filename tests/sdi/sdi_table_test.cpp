#include "sdi/sdi_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "app/app_state.h"
#include "schema/column_type_text.h"
#include "schema/field_types.h"
#include "sdi/sdi_reader.h"
#include "support/expected_rows.h"
#include "support/test_support.h"
#include "values/temporal.h"

namespace brix {
namespace {

std::filesystem::path MysqlDataDir() {
    return test::SourceDir() / "tests/fixtures/mysql9/datadir";
}

// Every table object of the fixture directory's tablespaces and .sdi files,
// by "database.table" as the dictionary names them.
std::map<std::string, std::string> TableObjects() {
    std::map<std::string, std::string> objects;
    auto add = [&](const std::string& json) {
        CTableDef table;
        SdiTableInfo info;
        std::string problem;
        if (TableDefFromSdi(json, test::TestApp(), table, info, problem))
            objects.emplace(test::U8(info.schema) + "." + test::U8(info.name), json);
    };
    for (const auto& entry : std::filesystem::recursive_directory_iterator(MysqlDataDir())) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".ibd") {
            for (const SdiObject& object : ReadSdi(entry.path()).objects)
                if (object.type == kSdiTypeTable) add(object.json);
        } else if (extension == ".sdi") {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            add(text.str());
        }
    }
    return objects;
}

TEST(SdiTableTest, EveryTableReadsAsTheServerDescribesIt) {
    const CAppState& app = test::TestApp();
    const std::map<std::string, std::string> objects = TableObjects();
    const std::filesystem::path expectedDir = test::SourceDir() / "tests/fixtures/mysql9/expected";
    size_t compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(expectedDir)) {
        const std::string file = entry.path().filename().string();
        if (!file.ends_with(".columns.tsv")) continue;
        const std::string key = entry.path().parent_path().filename().string() + "." +
                                file.substr(0, file.size() - std::string(".columns.tsv").size());
        SCOPED_TRACE(key);
        const auto found = objects.find(key);
        ASSERT_NE(found, objects.end());
        CTableDef table;
        SdiTableInfo info;
        std::string problem;
        ASSERT_TRUE(TableDefFromSdi(found->second, app, table, info, problem)) << problem;
        const auto expected = test::ReadTsv(entry.path());
        ASSERT_EQ(table.columns.size() + 1, expected.size());
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const CColumnDef& c = table.columns[i];
            const std::vector<std::string>& e = expected[i + 1];
            SCOPED_TRACE(e[0]);
            EXPECT_EQ(test::U8(c.name), e[0]);
            EXPECT_EQ(c.nullable, e[3] == "YES");
            EXPECT_EQ(c.inPrimaryKey, e[13] == "PRI");
            EXPECT_EQ(test::Lower(test::U8(ColumnTypeText(c, table.tableCharset, app.collations))),
                      test::InformationSchemaGridType(e));
            if (IsNumericType(c.type)) {
                EXPECT_EQ(c.signedness == Signedness::kUnsigned,
                          e[5].find("unsigned") != std::string::npos);
                EXPECT_EQ(c.zerofill, e[5].find("zerofill") != std::string::npos);
            }
            if (e[4] == "decimal") {
                EXPECT_EQ(std::to_string(c.precision), e[8]);
                EXPECT_EQ(std::to_string(c.decimals), e[9]);
            }
            if (e[10] != "NULL") {
                EXPECT_EQ(std::to_string(TemporalFractionDigits(c)), e[10]);
            }
            if (e[12] != "NULL") {
                ASSERT_EQ(app.collations.count(c.charsetNumber), 1u);
                EXPECT_EQ(test::U8(app.collations.at(c.charsetNumber).text1), e[12]);
                EXPECT_EQ(test::U8(app.collations.at(c.charsetNumber).text2), e[11]);
                EXPECT_NE(c.decoder, nullptr);
            }
            const bool generated = e[14].find("GENERATED") != std::string::npos;
            EXPECT_EQ(c.isVirtual || c.isStoredGenerated, generated);
            EXPECT_EQ(c.isVirtual, e[14].find("VIRTUAL GENERATED") != std::string::npos);
            EXPECT_EQ(c.uniregType == CColumnDef::kAutoIncrement,
                      e[14].find("auto_increment") != std::string::npos);
        }
        ++compared;
    }
    EXPECT_GE(compared, 25u);
}

TEST(SdiTableTest, DictionaryTypeCodesMapToFieldTypes) {
    EXPECT_EQ(FieldTypeOfDictionaryType(1), FieldType::kDecimal);
    EXPECT_EQ(FieldTypeOfDictionaryType(4), FieldType::kLong);
    EXPECT_EQ(FieldTypeOfDictionaryType(20), FieldType::kTime2);
    EXPECT_EQ(FieldTypeOfDictionaryType(21), FieldType::kNewDecimal);
    EXPECT_EQ(FieldTypeOfDictionaryType(29), FieldType::kString);
    EXPECT_EQ(FieldTypeOfDictionaryType(30), FieldType::kGeometry);
    EXPECT_EQ(FieldTypeOfDictionaryType(31), FieldType::kJson);
    for (int64_t outside : {0, 32, -1, 1000}) EXPECT_EQ(FieldTypeOfDictionaryType(outside), -1);
}

TEST(SdiTableTest, TextThatIsNoTableObjectIsRefusedInWords) {
    struct Case {
        const char* json;
        const char* problem;
    };
    for (const Case& c : {
             Case{"not json", "not valid JSON"},
             Case{"[1,2]", "not valid JSON"},
             Case{R"({"dd_object_type":"Tablespace","dd_object":{}})", "does not describe a table"},
             Case{R"({"dd_object_type":"Table","dd_object":{"columns":7}})", "has no columns"},
             Case{R"({"dd_object_type":"Table"})", "has no columns"},
         }) {
        CTableDef table;
        SdiTableInfo info;
        std::string problem;
        EXPECT_FALSE(TableDefFromSdi(c.json, test::TestApp(), table, info, problem)) << c.json;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_TRUE(table.columns.empty());
    }
    // Fields of the wrong kind read as absent, never as a crash.
    CTableDef table;
    SdiTableInfo info;
    std::string problem;
    ASSERT_TRUE(TableDefFromSdi(
        R"({"dd_object_type":"Table","dd_object":{"name":5,"columns":[
            {"name":"a","type":"x","hidden":1,"elements":"y","char_length":-4},
            {"name":"b","type":22,"hidden":1,"elements":[{"name":"YQ=="},7,{"name":"!!"}]},
            {"name":"sys","type":10,"hidden":2}],
            "indexes":[{"name":"k","type":2,"elements":[{"column_opx":99},{"column_opx":1},
                        {"column_opx":2},{"column_opx":"z"}]}]}})",
        test::TestApp(), table, info, problem));
    ASSERT_EQ(table.columns.size(), 2u);
    EXPECT_EQ(table.columns[0].type, -1);
    EXPECT_EQ(table.columns[0].length, 0);
    EXPECT_EQ(test::U8(table.columns[1].enumValues.str()), "'a',''");
    ASSERT_EQ(table.keys.size(), 1u);
    ASSERT_EQ(table.keys[0].parts.size(), 1u);
    EXPECT_EQ(table.keys[0].parts[0].fieldNumber, 2);
    EXPECT_TRUE(table.columns[1].inUniqueKey);
}

// A MyISAM table described by the dictionary gets the record layout the
// server gives it: null flags first (after the delete-mark bit of fixed
// records), a BIT column's leftover bits among them, then the fields in
// column order, VARCHAR with its length bytes and BLOB with a pointer.
TEST(SdiTableTest, MyisamRecordLayoutFollowsTheColumns) {
    const auto column = [](int type, int length, bool nullable) {
        CColumnDef c;
        c.type = type;
        c.length = length;
        c.nullable = nullable;
        return c;
    };
    struct Case {
        bool packed;
        std::vector<CColumnDef> columns;
        std::vector<int32_t> recordPos;
        std::vector<int32_t> nullBit;
        int32_t nullBytes;
        int32_t recordLength;
    };
    const CColumnDef id = column(FieldType::kLong, 11, false);
    for (const Case& c : {
             Case{false, {id, column(FieldType::kString, 10, true)}, {2, 6}, {-1, 1}, 1, 15},
             Case{true,
                  {id, column(FieldType::kVarchar, 120, true),
                   column(FieldType::kVarchar, 300, true)},
                  {2, 6, 127},
                  {-1, 0, 1},
                  1,
                  428},
             Case{true, {column(FieldType::kBlob, 65535, true)}, {2}, {0}, 1, 11},
             // Nine nullable columns and the delete mark take two bytes.
             Case{false,
                  std::vector<CColumnDef>(9, column(FieldType::kTiny, 4, true)),
                  {3, 4, 5, 6, 7, 8, 9, 10, 11},
                  {1, 2, 3, 4, 5, 6, 7, 8, 9},
                  2,
                  11},
         }) {
        CTableDef table;
        table.columns = c.columns;
        LayOutMyisamRecord(table, c.packed);
        EXPECT_EQ(table.nullBytes, c.nullBytes);
        EXPECT_EQ(table.recordLength, c.recordLength);
        EXPECT_EQ((table.createOptions & 1) != 0, c.packed);
        for (size_t i = 0; i < c.columns.size(); ++i) {
            EXPECT_EQ(table.columns[i].recordPos, c.recordPos[i]) << i;
            EXPECT_EQ(table.columns[i].nullFlagBit, c.nullBit[i]) << i;
        }
    }
    // BIT(10): one whole byte in the record, two bits after its null flag.
    CTableDef bits;
    bits.columns = {column(FieldType::kBit, 10, true)};
    LayOutMyisamRecord(bits, false);
    EXPECT_EQ(bits.columns[0].nullFlagBit, 1);
    EXPECT_EQ(bits.columns[0].extraBitsAt, 2);
    EXPECT_EQ(bits.recordLength, 2);
}

// Foreign keys name their columns by place in the column list (hidden
// columns counted), CHECK constraints keep their UTF-8 text, and the
// counter the table's private data keeps gives the next value.
TEST(SdiTableTest, ForeignKeysChecksAndTheCounterComeFromTheDictionary) {
    CTableDef table;
    SdiTableInfo info;
    std::string problem;
    ASSERT_TRUE(TableDefFromSdi(
        R"({"dd_object_type":"Table","dd_object":{"name":"t","schema_ref":"db",
            "se_private_data":"autoinc=41;version=0;",
            "columns":[{"name":"id","type":4,"hidden":1},{"name":"up","type":4,"hidden":1},
                       {"name":"DB_TRX_ID","type":10,"hidden":2}],
            "foreign_keys":[
              {"name":"fk_up","update_rule":1,"delete_rule":3,
               "referenced_table_schema_name":"db","referenced_table_name":"t",
               "elements":[{"column_opx":1,"referenced_column_name":"id"}]},
              {"name":"fk_far","update_rule":4,"delete_rule":2,
               "referenced_table_schema_name":"other","referenced_table_name":"u",
               "elements":[{"column_opx":77,"referenced_column_name":"x"},"junk"]},
              "junk"],
            "check_constraints":[{"name":"c1","check_clause_utf8":"`id` > 0"},
                                 {"name":"c2"}, 5]}})",
        test::TestApp(), table, info, problem))
        << problem;
    ASSERT_EQ(table.foreignKeys.size(), 2u);
    const CForeignKeyDef& up = table.foreignKeys[0];
    EXPECT_EQ(up.name, u"fk_up");
    EXPECT_EQ(up.columns, std::vector<std::u16string>{u"up"});
    EXPECT_EQ(up.referencedColumns, std::vector<std::u16string>{u"id"});
    EXPECT_TRUE(up.referencedDatabase.empty());
    EXPECT_EQ(up.onDelete, ForeignKeyAction::kCascade);
    EXPECT_EQ(up.onUpdate, ForeignKeyAction::kNoAction);
    const CForeignKeyDef& far = table.foreignKeys[1];
    EXPECT_EQ(far.referencedDatabase, u"other");
    // A column place outside the list leaves an empty name, which the save
    // refuses.
    EXPECT_EQ(far.columns, std::vector<std::u16string>{u""});
    EXPECT_EQ(far.onDelete, ForeignKeyAction::kRestrict);
    EXPECT_EQ(far.onUpdate, ForeignKeyAction::kSetNull);
    ASSERT_EQ(table.checks.size(), 1u);
    EXPECT_EQ(table.checks[0].name, u"c1");
    EXPECT_EQ(table.checks[0].expression, u"`id` > 0");
    EXPECT_EQ(table.nextAutoIncrement, 42u);
}

}  // namespace
}  // namespace brix
