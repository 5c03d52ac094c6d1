#include "innodb/page_compressed.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "innodb/page_check.h"

#ifdef BRIX_HAVE_LZ4
#include <lz4.h>
#endif
#ifdef BRIX_HAVE_LZO
#include <lzo/lzo1x.h>
#endif
#ifdef BRIX_HAVE_LZMA
#include <lzma.h>
#endif
#ifdef BRIX_HAVE_BZIP2
#include <bzlib.h>
#endif
#ifdef BRIX_HAVE_SNAPPY
#include <snappy-c.h>
#endif

namespace brix {

namespace {

constexpr size_t kPageType = 24;
// The older layout: page types of compressed pages, the checksum field holds
// the no-checksum magic, the algorithm fills the eight bytes of the flush
// LSN, the compressed length follows the file header and the data follows
// that length.
constexpr uint16_t kCompressedType = 34354;
constexpr uint16_t kCompressedEncryptedType = 37401;
constexpr uint32_t kNoChecksumMagic = 0xDEADBEEF;
constexpr size_t kAlgorithmField = 26;
constexpr size_t kClassicLength = 38;
constexpr size_t kClassicData = 40;
// full_crc32: bit 15 of the page type marks a compressed page, its low byte
// gives the page's stored length in units of 256 bytes; the
// data starts where the flush LSN would, and a CRC-32C of the stored bytes
// before it ends them.
constexpr uint16_t kFullCrc32Marker = 0x8000;
constexpr size_t kFullCrc32Data = 26;
// full_crc32 keeps the key version of an encrypted page in its first four
// bytes, zero on a page that is not encrypted; the bytes from the data on are
// encrypted after they were compressed, the page type stays readable.
constexpr size_t kFullCrc32KeyVersion = 0;
// The memory a hostile lzma header may ask for, at most.
constexpr uint64_t kLzmaMemoryLimit = 64u << 20;

// Algorithms whose decoders want the exact compressed length: full_crc32
// keeps its low byte five bytes before the end of the stored bytes.
bool ExactLengthKept(uint32_t algorithm) {
    return algorithm == static_cast<uint32_t>(PageAlgorithm::kLz4) ||
           algorithm == static_cast<uint32_t>(PageAlgorithm::kLzo) ||
           algorithm == static_cast<uint32_t>(PageAlgorithm::kSnappy);
}

// Decompresses in into out; true only when exactly out.size() bytes come.
bool Inflate(uint32_t algorithm, ByteSpan in, std::span<uint8_t> out) {
    switch (static_cast<PageAlgorithm>(algorithm)) {
        case PageAlgorithm::kZlib: {
            uLongf length = static_cast<uLongf>(out.size());
            return uncompress(out.data(), &length, in.data(), static_cast<uLong>(in.size())) ==
                       Z_OK &&
                   length == out.size();
        }
#ifdef BRIX_HAVE_LZ4
        case PageAlgorithm::kLz4:
            return LZ4_decompress_safe(reinterpret_cast<const char*>(in.data()),
                                       reinterpret_cast<char*>(out.data()),
                                       static_cast<int>(in.size()), static_cast<int>(out.size())) ==
                   static_cast<int>(out.size());
#endif
#ifdef BRIX_HAVE_LZO
        case PageAlgorithm::kLzo: {
            static const bool ready = lzo_init() == LZO_E_OK;
            if (!ready) return false;
            lzo_uint length = out.size();
            return lzo1x_decompress_safe(in.data(), in.size(), out.data(), &length, nullptr) ==
                       LZO_E_OK &&
                   length == out.size();
        }
#endif
#ifdef BRIX_HAVE_LZMA
        case PageAlgorithm::kLzma: {
            uint64_t limit = kLzmaMemoryLimit;
            size_t inPos = 0;
            size_t outPos = 0;
            return lzma_stream_buffer_decode(&limit, 0, nullptr, in.data(), &inPos, in.size(),
                                             out.data(), &outPos, out.size()) == LZMA_OK &&
                   outPos == out.size();
        }
#endif
#ifdef BRIX_HAVE_BZIP2
        case PageAlgorithm::kBzip2: {
            auto length = static_cast<unsigned>(out.size());
            // bzip2's interface takes non-const input it does not change.
            return BZ2_bzBuffToBuffDecompress(
                       reinterpret_cast<char*>(out.data()), &length,
                       const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                       static_cast<unsigned>(in.size()), 1, 0) == BZ_OK &&
                   length == out.size();
        }
#endif
#ifdef BRIX_HAVE_SNAPPY
        case PageAlgorithm::kSnappy: {
            size_t length = out.size();
            return snappy_uncompress(reinterpret_cast<const char*>(in.data()), in.size(),
                                     reinterpret_cast<char*>(out.data()), &length) == SNAPPY_OK &&
                   length == out.size();
        }
#endif
        default:
            return false;
    }
}

DecompressResult Run(uint32_t algorithm, ByteSpan in, std::span<uint8_t> out, bool checksumSound) {
    DecompressResult result;
    result.algorithm = algorithm;
    result.checksumSound = checksumSound;
    if (!PageAlgorithmRead(algorithm)) {
        result.state = DecompressState::kUnsupported;
        return result;
    }
    result.state = Inflate(algorithm, in, out) ? DecompressState::kDone : DecompressState::kFailed;
    return result;
}

DecompressResult Failed(uint32_t algorithm = 0) {
    DecompressResult result;
    result.state = DecompressState::kFailed;
    result.algorithm = algorithm;
    return result;
}

}  // namespace

const char* PageAlgorithmName(uint32_t algorithm) {
    switch (static_cast<PageAlgorithm>(algorithm)) {
        case PageAlgorithm::kNone:
            return "none";
        case PageAlgorithm::kZlib:
            return "zlib";
        case PageAlgorithm::kLz4:
            return "lz4";
        case PageAlgorithm::kLzo:
            return "lzo";
        case PageAlgorithm::kLzma:
            return "lzma";
        case PageAlgorithm::kBzip2:
            return "bzip2";
        case PageAlgorithm::kSnappy:
            return "snappy";
    }
    return "unknown";
}

bool PageAlgorithmRead(uint32_t algorithm) {
    switch (static_cast<PageAlgorithm>(algorithm)) {
        case PageAlgorithm::kZlib:
            return true;
#ifdef BRIX_HAVE_LZ4
        case PageAlgorithm::kLz4:
            return true;
#endif
#ifdef BRIX_HAVE_LZO
        case PageAlgorithm::kLzo:
            return true;
#endif
#ifdef BRIX_HAVE_LZMA
        case PageAlgorithm::kLzma:
            return true;
#endif
#ifdef BRIX_HAVE_BZIP2
        case PageAlgorithm::kBzip2:
            return true;
#endif
#ifdef BRIX_HAVE_SNAPPY
        case PageAlgorithm::kSnappy:
            return true;
#endif
        default:
            return false;
    }
}

bool LooksPageCompressed(ByteSpan page) {
    // No page type of a page kept whole has bit 15; both compressed types of
    // the older layout have it too.
    return (LoadU16be(page, kPageType) & kFullCrc32Marker) != 0;
}

const char* UndecompressedReason(ByteSpan page) {
    constexpr const char* kEncrypted = "encrypted; needs the keyring";
    const uint16_t type = LoadU16be(page, kPageType);
    if (type == kCompressedEncryptedType) return kEncrypted;
    // No full_crc32 type reaches the older layout's types: its length byte
    // stays below 0x101.
    if ((type & kFullCrc32Marker) != 0 && type != kCompressedType &&
        LoadU32be(page, kFullCrc32KeyVersion) != 0)
        return kEncrypted;
    if (LoadU16be(page, kPageType) == kCompressedType && LoadU32be(page, kAlgorithmField) == 0 &&
        LoadU16be(page, kAlgorithmField + 4) == 0) {
        const uint32_t algorithm = LoadU16be(page, kAlgorithmField + 6);
        switch (static_cast<PageAlgorithm>(algorithm)) {
            case PageAlgorithm::kLz4:
            case PageAlgorithm::kLzo:
            case PageAlgorithm::kLzma:
            case PageAlgorithm::kBzip2:
            case PageAlgorithm::kSnappy:
                if (!PageAlgorithmRead(algorithm)) {
                    static const char* const kReasons[] = {
                        "",
                        "",
                        "page compressed with lz4, which this build does not read",
                        "page compressed with lzo, which this build does not read",
                        "page compressed with lzma, which this build does not read",
                        "page compressed with bzip2, which this build does not read",
                        "page compressed with snappy, which this build does not read"};
                    return kReasons[algorithm];
                }
                break;
            case PageAlgorithm::kZlib:
                break;
            default:
                return "page names an unknown compression algorithm";
        }
    }
    return "page does not decompress";
}

DecompressResult DecompressPage(ByteSpan raw, const SpaceFormat& format, std::span<uint8_t> out) {
    if (!format.pageCompressed || raw.size() != out.size() || raw.size() < 4096) return {};
    const uint16_t type = LoadU16be(raw, kPageType);
    if (format.fullCrc32) {
        if ((type & kFullCrc32Marker) == 0) return {};
        const size_t stored = size_t{type & 0x7FFFu} << 8;
        if (stored >= raw.size() || stored < kFullCrc32Data + 5) return Failed(format.algorithm);
        const bool sound = Crc32c(raw.first(stored - 4)) == LoadU32be(raw, stored - 4);
        // Signed: a damaged low byte may make the length run below zero.
        int64_t length = static_cast<int64_t>(stored);
        if (ExactLengthKept(format.algorithm)) {
            const uint8_t low = raw[stored - 5];
            if (low != 0) length += int64_t{low} - 0x100;
            length -= 5;
        }
        if (length <= static_cast<int64_t>(kFullCrc32Data)) return Failed(format.algorithm);
        return Run(format.algorithm,
                   raw.subspan(kFullCrc32Data, static_cast<size_t>(length) - kFullCrc32Data), out,
                   sound);
    }
    if (type != kCompressedType) {
        // Encrypted compressed pages need the keyring; the tablespace says so.
        if (type == kCompressedEncryptedType) return Failed();
        return {};
    }
    if (LoadU32be(raw, 0) != kNoChecksumMagic || LoadU32be(raw, kAlgorithmField) != 0 ||
        LoadU16be(raw, kAlgorithmField + 4) != 0)
        return Failed();
    const uint32_t algorithm = LoadU16be(raw, kAlgorithmField + 6);
    const size_t length = LoadU16be(raw, kClassicLength);
    if (length == 0 || length > raw.size() - kClassicData) return Failed(algorithm);
    return Run(algorithm, raw.subspan(kClassicData, length), out, false);
}

}  // namespace brix
