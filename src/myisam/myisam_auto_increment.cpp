#include "myisam/myisam_auto_increment.h"

#include <array>

#include "app/byte_reader.h"
#include "app/read_only_file.h"

namespace brix {

namespace {

// The index file starts with a 24-byte header (its first two bytes 0xFE),
// then the state: open count (2), changed (1), sort key (1), then eight
// eight-byte counters (rows, deleted rows, split blocks, first deleted
// block, index and data file lengths, empty bytes of each) before the
// auto_increment value, stored big-endian.
constexpr size_t kFileHeader = 24;
constexpr size_t kStateInfoLengthField = 8;
constexpr size_t kAutoIncrementInState = 2 + 1 + 1 + 8 * 8;
constexpr size_t kAutoIncrementAt = kFileHeader + kAutoIncrementInState;
constexpr uint8_t kMagic = 0xFE;

}  // namespace

std::optional<uint64_t> ReadMyisamAutoIncrement(const std::filesystem::path& indexFile) {
    CReadOnlyFile file;
    if (!file.Open(indexFile)) return std::nullopt;
    std::array<uint8_t, kAutoIncrementAt + 8> head{};
    if (file.ReadAt(0, head.data(), head.size()) != head.size()) return std::nullopt;
    const ByteSpan bytes(head.data(), head.size());
    if (head[0] != kMagic || head[1] != kMagic) return std::nullopt;
    // The state the header describes must reach the field.
    if (LoadU16be(bytes, kStateInfoLengthField) < kAutoIncrementInState + 8) return std::nullopt;
    return LoadU64be(bytes, kAutoIncrementAt);
}

}  // namespace brix
