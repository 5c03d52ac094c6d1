#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/byte_reader.h"

namespace brix {

// One partition of a partitioned table as its files spell it: the leaf
// partitions, so a subpartitioned table lists every subpartition.
struct CPartitionFile {
    // The partition's name in the files: "p0", or "p0#SP#p0sp0" for a
    // subpartition.
    std::u16string name;
    // The name of its data files without the extension: "t#P#p0".
    std::u16string stem;
    // MySQL 8.0 and later: the root page of the partition's clustered index
    // and the id its pages carry, from the table's dictionary information
    // (0: not named).
    uint32_t root = 0;
    uint64_t indexId = 0;
    // The count of the partition's columns before the first added in place
    // (MySQL 8.0.12 to 8.0.28, instant_col of its own); 0 for none.
    uint32_t instantColumnsBefore = 0;
};

// A leaf partition as a table's dictionary information names it: the
// partition's name, or a subpartition's own name, with the root and the id of
// its clustered index.
struct CSdiPartition {
    std::u16string name;
    uint32_t root = 0;
    uint64_t indexId = 0;
    // The count of the partition's columns before the first added in place
    // (MySQL 8.0.12 to 8.0.28, instant_col of its own); 0 for none.
    uint32_t instantColumnsBefore = 0;
};

// The leaf partitions a table object of MySQL 8.0+'s dictionary information
// (its JSON text) lists, in their order: each partition's subpartitions in
// their place, a partition without subpartitions itself. Empty for a table
// that is not partitioned or a text that is no such object.
std::vector<CSdiPartition> PartitionsInSdi(std::string_view json);

// Most partitions a table may have; a count above it is damage.
inline constexpr size_t kMaxPartitions = 8192;

// The partition names of a .par file, in the table's order: 4-byte
// little-endian words, the length in words, a checksum, the number of
// partitions, one engine byte per partition rounded up to words, the length
// of the names in bytes, then the names each ended by a zero byte. Empty when
// the bytes are not such a file.
std::vector<std::u16string> ReadParNames(ByteSpan bytes);

// The names of the partitions a partitioning clause defines at its top
// level ("PARTITION p0 VALUES ...", not its subpartitions), in order.
std::vector<std::u16string> PartitionNamesInClause(std::u16string_view clause);

// The leaf partitions of table tableName in databaseFolder, in the table's
// order; empty for a table that is not partitioned. The order comes from
// the first of: the table's .par file; ordered (the leaf partitions in
// order, as a dictionary gives them, whose roots they keep); the order of the top-level partitions
// in clause, subpartitions by name; the file names, numbers in them compared
// as numbers. A partition that the .par file or ordered name but whose
// files are missing is still listed, so that the reader can say so.
std::vector<CPartitionFile> ListPartitions(const std::filesystem::path& databaseFolder,
                                           std::u16string_view tableName,
                                           std::u16string_view clause = {},
                                           const std::vector<CSdiPartition>& ordered = {});

}  // namespace brix
