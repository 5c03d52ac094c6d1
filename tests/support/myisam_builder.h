#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "schema/table_def.h"

namespace brix::test {

// Byte builders for MyISAM files: index-file heads, dynamic-format blocks.
// All numbers in them are big-endian, as MyISAM writes them.
class Bytes_ {
  public:
    Bytes_& u8(uint32_t v);
    Bytes_& u16be(uint32_t v);
    Bytes_& u24be(uint32_t v);
    Bytes_& u32be(uint32_t v);
    Bytes_& u64be(uint64_t v);
    Bytes_& u16le(uint32_t v);
    Bytes_& u32le(uint32_t v);
    Bytes_& raw(const std::vector<uint8_t>& b);
    Bytes_& text(const std::string& s);
    Bytes_& zeros(size_t n);
    std::vector<uint8_t> bytes;
};

struct MyiEntry {
    int kind = 0;
    int length = 0;
    int nullBit = 0;
    int nullPos = 0;
};

// An index file: state header, 100-byte base information, keys with the given
// segment counts, unique constraints, then the field entries.
std::vector<uint8_t> BuildMyi(uint16_t options, const std::vector<MyiEntry>& entries,
                              uint32_t packRecLength, uint32_t minPackLength, uint16_t packBits,
                              const std::vector<int>& keySegments = {},
                              const std::vector<int>& uniqueSegments = {});

// Dynamic-format blocks.
std::vector<uint8_t> Block1(const std::vector<uint8_t>& record);
std::vector<uint8_t> Block3(const std::vector<uint8_t>& record, uint8_t unused);
std::vector<uint8_t> Block5(uint16_t recordLength, const std::vector<uint8_t>& data, uint64_t next);
std::vector<uint8_t> Block7(const std::vector<uint8_t>& data);
std::vector<uint8_t> Block11(const std::vector<uint8_t>& data, uint64_t next);
std::vector<uint8_t> Block13(uint32_t recordLength, const std::vector<uint8_t>& data,
                             uint64_t next);
std::vector<uint8_t> DeletedBlock(uint32_t blockLength);

// A column for tables built by hand.
CColumnDef MakeColumn(std::u16string name, int type, int length, int recordPos,
                      int nullFlagBit = -1);

}  // namespace brix::test
