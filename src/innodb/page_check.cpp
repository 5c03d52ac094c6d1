#include "innodb/page_check.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <optional>

#include "innodb/page_compressed.h"
#include "innodb/page_zip.h"
#include "innodb/tablespace.h"

namespace brix {

namespace {

// Page 0: the flags word of the tablespace header, after the file header
// (38 bytes) and four fields of four bytes (space id, unused, size, free limit).
constexpr size_t kFilHeaderSize = 4 + 4 + 4 + 4 + 8 + 2 + 8 + 4;
constexpr size_t kSpaceFlags = kFilHeaderSize + 4 + 4 + 4 + 4;
// MariaDB writes its encryption information after the extent descriptors of
// page 0: 112 bytes of tablespace header, then a descriptor for every extent
// the page describes (see ExtentPages, DescriptorSize).
constexpr size_t kSpaceHeaderSize = 112;
constexpr uint8_t kCryptMagic[6] = {'s', 0x0E, 0x0C, 'R', 'E', 't'};
constexpr uint8_t kCryptSchemeEncrypted = 1;

// Flags, MariaDB full_crc32: bits 0-3 page size shift, bit 4 the marker,
// bits 5-7 the page compression algorithm.
constexpr uint32_t kFcrc32Marker = 1u << 4;
// Flags otherwise: bit 0 post-Antelope, bits 1-4 zip size shift, bit 5
// atomic BLOBs, bits 6-9 page size shift (0: 16 KiB), bit 13 MySQL
// encryption, bit 16 MariaDB page compression.
constexpr uint32_t kMysqlEncrypted = 1u << 13;
constexpr uint32_t kMariaPageCompressed = 1u << 16;

// Where the checksums and LSN copies are.
constexpr size_t kLsn = 16;
constexpr size_t kFlushLsn = 26;
constexpr size_t kClassicTrailer = 8;  // old-style checksum, then the LSN's low half
constexpr uint32_t kNoChecksumMagic = 0xDEADBEEF;

// Sizes by shift: 512 << shift, from 4 KiB (3) to 64 KiB (7).
uint32_t SizeOfShift(uint32_t shift) {
    return shift >= 3 && shift <= 7 ? 512u << shift : 0;
}

// Where MariaDB's encryption information starts on page 0.
size_t CryptDataOffset(size_t pageSize) {
    return kFilHeaderSize + kSpaceHeaderSize +
           (pageSize / ExtentPages(pageSize)) * DescriptorSize(pageSize);
}

std::array<uint32_t, 256> MakeCrc32cTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        table[i] = c;
    }
    return table;
}

// The legacy fold of InnoDB's first checksum, byte by byte; only the low 32
// bits are kept, which depend only on the low 32 bits of each step.
uint32_t LegacyFold(ByteSpan bytes) {
    constexpr uint32_t kMask = 1463735687u;
    constexpr uint32_t kMask2 = 1653893711u;
    uint32_t fold = 0;
    for (uint8_t b : bytes) fold = ((((fold ^ b ^ kMask2) << 8) + fold) ^ kMask) + b;
    return fold;
}

bool AllZero(ByteSpan page) {
    for (uint8_t b : page)
        if (b != 0) return false;
    return true;
}

}  // namespace

namespace {

// CRC-32C by table, a byte at a time: for processors without the
// instruction.
uint32_t Crc32cByTable(const uint8_t* p, size_t n, uint32_t crc) {
    static const std::array<uint32_t, 256> table = MakeCrc32cTable();
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BRIX_CRC32C_INSTRUCTION 1
// CRC-32C by the processor's own instruction (SSE 4.2), eight bytes at a
// time: every page read is checked, so this is on the path of every row.
__attribute__((target("sse4.2"))) uint32_t Crc32cByInstruction(const uint8_t* p, size_t n,
                                                               uint32_t crc) {
    uint64_t c = crc;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        c = __builtin_ia32_crc32di(c, word);
    }
    uint32_t c32 = static_cast<uint32_t>(c);
    for (; n > 0; ++p, --n) c32 = __builtin_ia32_crc32qi(c32, *p);
    return c32;
}
#endif

}  // namespace

uint32_t Crc32c(ByteSpan bytes, uint32_t crc) {
#ifdef BRIX_CRC32C_INSTRUCTION
    static const bool instruction = __builtin_cpu_supports("sse4.2");
    if (instruction) return ~Crc32cByInstruction(bytes.data(), bytes.size(), ~crc);
#endif
    return ~Crc32cByTable(bytes.data(), bytes.size(), ~crc);
}

bool ValidPageSize(size_t size) {
    return size >= kMinPageSize && size <= kMaxPageSize && (size & (size - 1)) == 0;
}

uint32_t ExtentPages(size_t pageSize) {
    // An extent is 1 MiB of pages below 16 KiB, 64 pages from 16 KiB up.
    return pageSize < 16384 ? static_cast<uint32_t>((1u << 20) / pageSize) : 64u;
}

size_t DescriptorSize(size_t pageSize) {
    // Id, list node and state, then two bits for each page of the extent.
    return 8 + 12 + 4 + (ExtentPages(pageSize) * 2 + 7) / 8;
}

SpaceFormat ReadSpaceFormat(ByteSpan firstPage) {
    SpaceFormat format;
    const uint32_t flags = LoadU32be(firstPage, kSpaceFlags);
    format.flags = flags;
    if (flags & kFcrc32Marker) {
        format.fullCrc32 = true;
        format.pageSize = SizeOfShift(flags & 0xF);
        format.algorithm = (flags >> 5) & 0x7;
        format.pageCompressed = format.algorithm != 0;
    } else {
        const uint32_t pageShift = (flags >> 6) & 0xF;
        format.pageSize = pageShift == 0 ? 16384 : SizeOfShift(pageShift);
        format.rowCompressed = ((flags >> 1) & 0xF) != 0;
        format.encrypted = (flags & kMysqlEncrypted) != 0;
        format.pageCompressed = (flags & kMariaPageCompressed) != 0;
    }
    const size_t cryptData = CryptDataOffset(format.pageSize != 0 ? format.pageSize : kPageSize);
    if (firstPage.size() >= cryptData + sizeof(kCryptMagic) + 1 &&
        std::equal(std::begin(kCryptMagic), std::end(kCryptMagic), firstPage.begin() + cryptData) &&
        firstPage[cryptData + sizeof(kCryptMagic)] == kCryptSchemeEncrypted)
        format.encrypted = true;
    return format;
}

std::string UnreadFormatReason(const SpaceFormat& format) {
    if (format.encrypted) return "encrypted; needs the keyring";
    // Compressed pages rebuild into pages of at most 16 KiB.
    if (format.rowCompressed && (ZipPageSize(format.flags) == 0 || format.pageSize > kPageSize ||
                                 ZipPageSize(format.flags) > format.pageSize))
        return "ROW_FORMAT=COMPRESSED pages are not read yet";
    // full_crc32 names the algorithm of every page once; the older layout
    // names it on each page, which tells for itself.
    if (format.pageCompressed && format.fullCrc32 && !PageAlgorithmRead(format.algorithm)) {
        const std::string name = PageAlgorithmName(format.algorithm);
        if (name == "unknown") return "PAGE_COMPRESSED pages name an unknown compression algorithm";
        return "PAGE_COMPRESSED pages compressed with " + name + " are not read by this build";
    }
    return {};
}

PageState CheckPage(ByteSpan page) {
    if (!ValidPageSize(page.size())) return PageState::kBadChecksum;
    const size_t end = page.size();
    const uint32_t head = LoadU32be(page, 0);
    const uint32_t tail = LoadU32be(page, end - kClassicTrailer);
    if (head == 0 && LoadU32be(page, end - 4) == 0 && AllZero(page)) return PageState::kZero;
    // The tablespace hands out compressed pages decompressed: one still
    // compressed did not decompress. (Its zero padding could pass for the
    // legacy checksum.)
    if (LooksPageCompressed(page)) return PageState::kNotDecompressed;
    // full_crc32: one CRC-32C of everything before the last four bytes. The
    // other layouts keep the same checksum at both ends, so the one that
    // matches the page's two ends is tried first: one CRC per sound page.
    const auto fullCrc32 = [&]() -> std::optional<PageState> {
        if (Crc32c(page.first(end - 4)) != LoadU32be(page, end - 4)) return std::nullopt;
        return LoadU32be(page, kLsn + 4) == LoadU32be(page, end - 8) ? PageState::kSound
                                                                     : PageState::kLsnMismatch;
    };
    const bool classicLooking = head == tail;
    if (!classicLooking)
        if (const auto state = fullCrc32()) return *state;
    const ByteSpan body = page.subspan(kFilHeaderSize, end - kFilHeaderSize - kClassicTrailer);
    bool accepted = head == kNoChecksumMagic && tail == kNoChecksumMagic;
    if (!accepted) {
        // crc32: the header fields after the checksum up to the flush LSN,
        // and the body, each checksummed alone; the trailer holds a copy.
        const uint32_t crc = Crc32c(page.subspan(4, kFlushLsn - 4)) ^ Crc32c(body);
        accepted = head == crc && tail == crc;
    }
    if (!accepted) {
        // The legacy innodb checksums: a fold of the same parts in the
        // header, a fold of the header before the flush LSN in the trailer.
        const uint32_t folded = LegacyFold(page.subspan(4, kFlushLsn - 4)) + LegacyFold(body);
        const uint32_t old = LegacyFold(page.first(kFlushLsn));
        accepted = (head == folded || head == 0) && (tail == old || tail == LoadU32be(page, kLsn));
    }
    if (!accepted && classicLooking)
        if (const auto state = fullCrc32()) return *state;
    if (!accepted) return PageState::kBadChecksum;
    return LoadU32be(page, kLsn + 4) == LoadU32be(page, end - 4) ? PageState::kSound
                                                                 : PageState::kLsnMismatch;
}

}  // namespace brix
