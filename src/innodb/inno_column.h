#pragma once

#include <cstdint>
#include <vector>

namespace brix {

// InnoDB main types (MTYPE) that the reader treats specially.
namespace InnoType {
inline constexpr uint32_t kVarchar = 1;
inline constexpr uint32_t kChar = 2;
inline constexpr uint32_t kFixBinary = 3;
inline constexpr uint32_t kBinary = 4;
inline constexpr uint32_t kBlob = 5;
inline constexpr uint32_t kInt = 6;
inline constexpr uint32_t kSys = 8;
inline constexpr uint32_t kFloat = 9;
inline constexpr uint32_t kDouble = 10;
inline constexpr uint32_t kDecimal = 11;
inline constexpr uint32_t kVarMysql = 12;
inline constexpr uint32_t kMysql = 13;
inline constexpr uint32_t kGeometry = 14;
}  // namespace InnoType

// Precise-type (PRTYPE) flags.
namespace InnoFlag {
inline constexpr uint32_t kNotNull = 0x100;
inline constexpr uint32_t kUnsigned = 0x200;
inline constexpr uint32_t kBinary = 0x400;
inline constexpr uint32_t kVirtual = 0x2000;
}  // namespace InnoFlag

// Columns longer than this are never stored with a fixed length.
inline constexpr uint32_t kMaxFixedLength = 768;

// One field of a clustered-index record, in record order.
struct CInnoColumnDef {
    uint32_t mainType = 0;
    uint32_t preciseType = 0;
    uint32_t maxLength = 0;
    uint32_t precision = 0;
    // The table column whose value this field holds; -1 for the hidden system
    // columns and for key prefixes, whose bytes are skipped.
    int32_t position = -1;
    uint32_t fixedLength = 0;  // 0: the length is in the record header
    uint32_t charWidths = 0;   // min + 5 * max bytes per character; 0 unknown

    // Tables whose rows carry versions (columns added or dropped in place by
    // MySQL 8.0.29 and later): the version that added the field and the one
    // that dropped it (0: none); a record of version v holds the field when
    // versionAdded <= v and it was not dropped at or before v.
    uint8_t versionAdded = 0;
    uint8_t versionDropped = 0;
    // What a record written before the field was added shows for it: NULL,
    // or the stored bytes of its default.
    bool instantDefaultNull = false;
    std::vector<uint8_t> instantDefault;

    bool InVersion(uint32_t version) const {
        return versionAdded <= version && (versionDropped == 0 || versionDropped > version);
    }

    bool nullable() const { return (preciseType & InnoFlag::kNotNull) == 0; }
    // Lengths above 127 take two header bytes for such columns.
    bool big() const {
        return maxLength > 255 || mainType == InnoType::kBlob || mainType == InnoType::kGeometry;
    }
};

}  // namespace brix
