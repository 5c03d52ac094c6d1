#include "innodb/blob.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "app/app_state.h"
#include "app/output_file.h"
#include "innodb/lob_pages.h"
#include "innodb/page_set.h"

namespace brix {

namespace {

constexpr uint32_t kPartHeader = 8;
constexpr uint32_t kLaterPartOffset = 38;  // right after the file header

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
