#include "innodb/blob.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "app/app_state.h"
#include "app/output_file.h"
#include "innodb/lob_pages.h"
#include "innodb/page_set.h"
#include "innodb/zlob_pages.h"

namespace brix {

namespace {

constexpr uint32_t kPartHeader = 8;
constexpr uint32_t kLaterPartOffset = 38;  // right after the file header

// Off-page values of ROW_FORMAT=COMPRESSED tables: one zlib stream over a
// chain of pages, the first of type ZBLOB, the others ZBLOB2. Each page
// names the next at its file header's next-page field (the reference's
// offset on the first page); the stream starts after the file header.
constexpr uint16_t kZipBlobFirst = 11;
constexpr uint16_t kZipBlobLater = 12;
constexpr uint32_t kZipNextField = 12;
constexpr uint32_t kZipBlobData = 38;
constexpr size_t kInflateChunk = 16384;

bool ReadZipBlobValue(CTablespace& space, uint64_t page, uint32_t offset, uint64_t total,
                      const std::function<void(ByteSpan)>& sink) {
    if (total == 0) return true;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    std::vector<uint8_t> chunk(kInflateChunk);
    std::vector<uint8_t> raw;
    uint64_t written = 0;
    uint16_t type = kZipBlobFirst;
    bool whole = false;
    CPageSet walked;
    for (uint64_t pages = 0; pages < space.pageCount(); ++pages) {
        if (page >= space.pageCount() || !walked.Insert(page)) break;
        const ByteSpan bytes = space.RawPage(page);
        raw.assign(bytes.begin(), bytes.end());
        if (LoadU16be(raw, 24) != type || offset + 4 > raw.size()) break;
        const uint32_t next = LoadU32be(raw, offset);
        const uint32_t start = offset == kZipNextField ? kZipBlobData : offset + 4;
        if (start >= raw.size()) break;
        stream.next_in = raw.data() + start;
        stream.avail_in = static_cast<uInt>(raw.size() - start);
        int result = Z_OK;
        // Each round either uses input or makes output, of which no more is
        // taken than the length the reference gives.
        while (result == Z_OK && written < total) {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            result = inflate(&stream, Z_NO_FLUSH);
            const size_t made = chunk.size() - stream.avail_out;
            const uint64_t taken = std::min<uint64_t>(made, total - written);
            if (taken > 0) sink(ByteSpan(chunk).first(static_cast<size_t>(taken)));
            written += taken;
            if (result == Z_OK && stream.avail_in == 0) break;
        }
        if (written >= total) {
            whole = true;
            break;
        }
        if ((result != Z_OK && result != Z_BUF_ERROR) || next == kNoPage) break;
        page = next;
        offset = kZipNextField;
        type = kZipBlobLater;
    }
    inflateEnd(&stream);
    return whole;
}

}  // namespace

bool ReadExternalValue(CTablespace& space, ByteSpan columnBytes,
                       const std::function<void(ByteSpan)>& sink) {
    if (columnBytes.size() < kExternalReferenceLength) {
        sink(columnBytes);
        return true;
    }
    const size_t localLength = columnBytes.size() - kExternalReferenceLength;
    sink(columnBytes.first(localLength));
    const ByteSpan ref = columnBytes.subspan(localLength);
    uint64_t page = LoadU32be(ref, 4);
    uint32_t offset = LoadU32be(ref, 8);
    const uint64_t total = LoadU32be(ref, 16);
    if (space.zipPages()) {
        // Values longer than one compressed chunk are kept, from MySQL 8.0
        // on, as compressed large objects; the reference's offset field
        // then holds the object's version.
        if (page < space.pageCount() && IsZlobFirstPage(space.RawPage(page)))
            return ReadZlobValue(space, page, offset, total, sink);
        return ReadZipBlobValue(space, page, offset, total, sink);
    }
    // MySQL 8.0 and later keep an uncompressed table's values in large
    // objects of their own layout; the older chain of BLOB pages remains in
    // rows written before.
    if (page < space.pageCount() && IsLobFirstPage(space.Page(page)))
        return ReadLobValue(space, page, total, sink);
    uint64_t written = 0;
    // Each page of the chain is read once: a chain that comes back to a page
    // loops. Nothing past the length the reference gives is passed on.
    CPageSet walked;
    for (uint64_t pages = 0; pages < space.pageCount(); ++pages) {
        if (page >= space.pageCount() || !walked.Insert(page)) return false;
        const ByteSpan bytes = space.Page(page);
        if (offset > bytes.size() - kPartHeader) return false;
        const uint32_t partLength = LoadU32be(bytes, offset);
        const uint32_t next = LoadU32be(bytes, offset + 4);
        if (partLength == 0 || partLength > bytes.size() - kPartHeader - offset) return false;
        const uint64_t taken = std::min<uint64_t>(partLength, total - written);
        sink(bytes.subspan(offset + kPartHeader, static_cast<size_t>(taken)));
        written += taken;
        if (written >= total) return true;
        if (next == kNoPage) return false;
        page = next;
        offset = kLaterPartOffset;
    }
    return false;
}

std::filesystem::path SpillExternalColumn(CTablespace& space, ByteSpan columnBytes,
                                          const std::filesystem::path& folder, CAppState& app,
                                          bool* whole) {
    const std::filesystem::path path =
        folder / std::to_string(static_cast<uint32_t>(app.spillFileCounter));
    ++app.spillFileCounter;
    std::FILE* file = OpenOutputFile(path, OutputMode::kCreate);
    if (!file) {
        // The first value of a run makes the folder; later ones find it.
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        file = OpenOutputFile(path, OutputMode::kCreate);
        if (!file) return {};
    }
    bool ok = true;
    const bool complete = ReadExternalValue(space, columnBytes, [&](ByteSpan part) {
        if (ok && !part.empty()) ok = std::fwrite(part.data(), 1, part.size(), file) == part.size();
    });
    if (whole) *whole = complete;
    if (std::fclose(file) != 0) ok = false;
    if (!ok) return {};
    return path;
}

}  // namespace brix
