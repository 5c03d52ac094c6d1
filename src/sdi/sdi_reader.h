#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/byte_reader.h"
#include "app/damage_report.h"
#include "innodb/page.h"

namespace brix {

// What the flags word of a tablespace's first page says about the file.
struct TablespaceFlags {
    uint32_t raw = 0;
    bool valid = false;          // the page size fields name a size InnoDB writes
    uint32_t pageSize = 0;       // logical page size, 4 KiB to 64 KiB
    uint32_t physicalSize = 0;   // bytes per page in the file (the zip size when compressed)
    bool compressed = false;     // pages are stored zlib-compressed (ROW_FORMAT=COMPRESSED)
    bool postAntelope = false;   // compact-family row formats
    bool atomicBlobs = false;    // off-page columns keep no local prefix (DYNAMIC, COMPRESSED)
    bool dataDirectory = false;  // created with DATA DIRECTORY
    bool shared = false;         // a general tablespace
    bool temporary = false;
    bool encrypted = false;
    bool hasSdi = false;  // carries serialized dictionary information
};

TablespaceFlags DecodeTablespaceFlags(uint32_t flags);

// One serialized dictionary object: its type (1 table, 2 tablespace), its id,
// and its JSON text, inflated.
struct SdiObject {
    uint32_t type = 0;
    uint64_t id = 0;
    std::string json;
};

// Everything read from one tablespace's dictionary index, and what could not
// be read, in words for the user.
struct SdiReadResult {
    TablespaceFlags flags;
    uint32_t rootPage = 0;  // 0: none found
    std::vector<SdiObject> objects;
    std::vector<std::string> findings;
};

inline constexpr uint32_t kSdiTypeTable = 1;
inline constexpr uint32_t kSdiTypeTablespace = 2;

// Page types of the dictionary index and its off-page data.
inline constexpr uint16_t kSdiPageType = kSdiIndexPageType;
inline constexpr uint16_t kSdiBlobPageType = 18;

// The largest JSON text accepted for one object, whatever its record claims.
inline constexpr uint32_t kMaxSdiJson = 64u << 20;
// At most this many findings are kept; the rest are counted in the last one.
inline constexpr size_t kMaxSdiFindings = 64;

// Reads the serialized dictionary information of the tablespace at path
// (a table's .ibd, a general tablespace or mysql.ibd), read-only. Each
// finding is also reported to damage when given, with the page it is about,
// and so are dictionary pages whose checksum fails (their records are read).
SdiReadResult ReadSdi(const std::filesystem::path& path, CDamageSink* damage = nullptr);

// The same from the bytes of a whole tablespace file held in memory.
SdiReadResult ReadSdi(ByteSpan file, CDamageSink* damage = nullptr);

}  // namespace brix
