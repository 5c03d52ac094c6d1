#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brix {

class CTableDef;

// One field of a MyISAM record as the index file describes it.
struct CMyisamColumnDef {
    int16_t myisamType = 0;  // field kind: how the dynamic format packs it
    uint16_t myisamLength = 0;
    uint8_t nullBit = 0;   // mask of its null flag
    uint16_t nullPos = 0;  // byte of the null flags holding it
    // Where the field starts in the row image: the lengths of the entries
    // before it added up.
    uint32_t offset = 0;
};

// Field kinds of the dynamic format.
namespace MyisamFieldKind {
inline constexpr int kNormal = 0;
inline constexpr int kSkipEndSpace = 1;
inline constexpr int kSkipPreSpace = 2;
inline constexpr int kSkipZero = 3;
inline constexpr int kBlob = 4;
inline constexpr int kVarchar = 8;
inline constexpr int kCheck = 9;
}  // namespace MyisamFieldKind

// What the row readers take from a table's index file.
struct CMyisamHeader {
    std::vector<CMyisamColumnDef> myisamColumns;
    int32_t myisamRowFormat = 0;  // 0 fixed-length, 1 dynamic, 2 compressed
    uint32_t packRecLength = 0;
    uint32_t minPackLength = 0;
    uint16_t packBits = 0;  // bytes of field flags before a dynamic record's fields
    // Field entries the index file says it has (myisamColumns may hold fewer
    // when it is cut short or lists more than the table has columns).
    uint32_t fieldCount = 0;
    // Rows the index file counts; -1 when unknown (no usable index file).
    int64_t records = -1;
    // Bytes the index file says the data file holds; -1 when unknown.
    int64_t dataFileLength = -1;
};

// Reads the head of a MyISAM index file into header: the row format (0 fixed,
// 1 dynamic, 2 compressed), the base information the row readers need and the
// field entries. Key and unique-constraint definitions are walked over. The number
// of field entries taken is bounded by the table's column count plus one for
// the null flags (read the .frm first). Returns false when the file cannot be
// opened or holds no more than its 24-byte state header; true otherwise, also
// when it ends early (the entries read so far are kept). Opened read-only.
// When unusable is given, it is set to why the header cannot be trusted
// ("missing", "empty", "cut short", "not a MyISAM index file"), and emptied
// when it can.
bool ReadMyisamHeader(const CTableDef& table, CMyisamHeader& header,
                      const std::filesystem::path& path, std::string* unusable = nullptr);

// The header the server writes into the index file of table, made from its
// .frm alone, for a table whose index file is missing or unusable: the row
// format (packed records when the .frm's create options say so), the field
// entries in record order (the null flags first, a gap as a plain field, the
// kind of each field as the server picks it for its type), the field-flag
// bytes and the shortest packed record. The record count stays unknown.
void MyisamHeaderFromDefinition(const CTableDef& table, CMyisamHeader& header);

// The deleted records the state header of the index file at path counts
// (rows or blocks freed and not yet reused): 0 for a table packed by
// myisampack, whose records are never deleted in place; -1 when the file
// cannot be opened, is cut short before the count or is not a MyISAM index
// file. Reads the state header only, so that it is cheap enough for a scan.
int64_t ReadMyisamDeletedCount(const std::filesystem::path& path);

}  // namespace brix
