#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brix::test {

// Builds .frm table-definition images of layout 9, 10 or 11 byte by byte, as
// a MySQL or MariaDB server lays them out, for tests of the .frm reader.
class FrmBuilder {
  public:
    struct Column {
        std::string name;
        int type = 3;
        int length = 11;
        uint16_t packFlags = 0;
        int charset = 8;
        int valueList = 0;  // 1-based value-list number; 0 = none given
        std::string comment;
        int recordPos = 0;  // 0: placed after the previous column
        int storedBytes = 4;
        uint8_t unireg = 0;  // the column record's unireg byte
    };
    struct Key {
        std::string name;
        bool unique = false;
        std::vector<uint16_t> fieldNumbers;  // 1-based
        std::string comment;
    };

    uint8_t version = 10;
    uint8_t engine = 9;
    uint16_t createOptions = 0;
    bool nullsFirst = true;
    int tableCharset = 8;
    uint32_t serverVersion = 101119;
    int nullBytes = 1;  // where the first column starts
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> valueLists;
    std::vector<Key> keys;
    // Bytes of the section after the column comments (generated columns'
    // expressions), whose length the form information gives.
    std::vector<uint8_t> expressions;
    // The extra data after the default values, written when either of the
    // first two is given: an empty connection string, the engine's name and
    // the partitioning clause (with its closing zero and the byte that says
    // whether the server chose the partitions). partitionEngine is the
    // engine of the partitions, in header byte 61.
    std::string engineName;
    std::string partitioning;
    uint8_t partitionEngine = 0;

    std::vector<uint8_t> Build() const;

    // Offsets in the last built image, for tests that damage it.
    mutable size_t formPos = 0;
    mutable size_t keyPos = 0;
    mutable size_t columnBlockPos = 0;
};

}  // namespace brix::test
