#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "innodb/page.h"
#include "innodb/tablespace.h"

namespace brix::test {

// A compact-layout index page built byte by byte: the file header, the index
// header, infimum and supremum, and records placed where the test wants them.
class CompactPage {
  public:
    explicit CompactPage(uint32_t number, uint16_t level = 0, uint32_t previous = kNoPage,
                         uint32_t next = kNoPage, uint16_t type = kIndexPageType);

    // Places a record whose origin is origin: extra holds the bytes below its
    // 5-byte header (lengths, then the null bitmap, in address order), data
    // the bytes from the origin on. Returns origin.
    uint32_t Put(uint32_t origin, const std::vector<uint8_t>& extra,
                 const std::vector<uint8_t>& data, uint8_t infoBits = 0, uint8_t status = 0);
    // Links the infimum to the records in the order given and the last one to
    // the supremum.
    void Chain(const std::vector<uint32_t>& origins);
    // Sets the raw next-record link of the record at from to reach to.
    void Link(uint32_t from, uint32_t to);

    PageBuffer bytes{};
};

// A redundant-layout index page (the layout of the system tablespace's
// dictionary tables) built byte by byte.
class RedundantPage {
  public:
    explicit RedundantPage(uint32_t number, uint64_t indexId = 0, uint16_t level = 0);

    // Places a record of the fields given (nullopt: SQL NULL) whose origin is
    // origin, with end offsets of one byte when the record is short enough,
    // else of two. Returns origin.
    uint32_t Put(uint32_t origin, const std::vector<std::optional<std::vector<uint8_t>>>& fields,
                 uint8_t infoBits = 0);
    // Links the infimum to the records in the order given and the last one to
    // the supremum.
    void Chain(const std::vector<uint32_t>& origins);
    // Places the records 120 bytes apart from the first user origin on and
    // chains them in the order given.
    void PutChained(const std::vector<std::vector<std::optional<std::vector<uint8_t>>>>& records);

    PageBuffer bytes{};
};

// Big-endian bytes of an unsigned number of width bytes, as InnoDB's
// dictionary stores its numbers; text as bytes.
std::vector<uint8_t> BigEndian(uint64_t value, size_t width);
std::vector<uint8_t> TextBytes(const std::string& text);

// A record of the test table (id INT NOT NULL PRIMARY KEY, v VARCHAR(300)
// NULL in latin1): the bytes below its header and from its origin on.
struct TestRecord {
    std::vector<uint8_t> extra;
    std::vector<uint8_t> data;
};
TestRecord MakeTestRecord(int32_t id, const std::optional<std::string>& v);
// A compact leaf of the test table whose header names index indexId, holding
// the rows first to last with v = "v" and the id.
PageBuffer TestTableLeaf(uint32_t number, uint64_t indexId, int first, int last);
// The same record whose v is stored off-page: local bytes then a reference to
// the BLOB chain at page, offset, of length bytes.
TestRecord MakeExternalRecord(int32_t id, const std::string& local, uint32_t page, uint32_t offset,
                              uint32_t length);
// A node pointer of the test table: the key id and the child page.
TestRecord MakeNodePointer(int32_t id, uint32_t child);

// A page that holds one part of a BLOB chain at offset.
PageBuffer BlobPage(uint32_t number, uint32_t offset, const std::string& part, uint32_t next);

// Writes the pages into a tablespace file, page i at position i; missing
// pages are zero.
void WriteTablespace(const std::filesystem::path& path, const std::vector<PageBuffer>& pages);

}  // namespace brix::test
