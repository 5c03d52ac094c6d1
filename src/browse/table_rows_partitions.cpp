// Partitioned tables: the partitions read one after the other as one row set.
//
// Each partition is read by the reader of its engine into a window of its
// own; a window of the table takes rows from as many partitions as it needs
// to fill, so that only the last window of the table is short. A bookmark
// of the table is the bookmark of the partition's reader with the
// partition's number above the page's 32 bits, or the start of a partition.

#include <set>
#include <tuple>

#include "app/file_names.h"
#include "browse/table_rows.h"
#include "innodb/inno_table_reader.h"
#include "myisam/myisam_reader.h"

namespace brix {

namespace {

constexpr int kPartitionShift = 32;
constexpr uint64_t kLocalPageMask = 0xFFFFFFFFu;
// Above any partition number: the bookmark stands for the partition's start.
constexpr uint64_t kPartitionStartFlag = uint64_t{1} << 62;
constexpr uint64_t kPartitionMask = (kPartitionStartFlag - 1) & ~kLocalPageMask;

RecordBookmark PartitionStart(size_t partition) {
    return RecordBookmark{kPartitionStartFlag | (uint64_t{partition} << kPartitionShift), 0};
}

RecordBookmark InPartition(size_t partition, const RecordBookmark& local) {
    return RecordBookmark{(uint64_t{partition} << kPartitionShift) | (local.page & kLocalPageMask),
                          local.origin};
}

// Passes each finding on the first time only; past kMaxKept distinct
// findings it passes everything on (the report counts what it keeps).
class COnceSink : public CDamageSink {
  public:
    explicit COnceSink(CDamageSink& target) : target_(target) {}
    void Report(DamageFinding finding) override {
        if (seen_.size() < CDamageReport::kMaxKept &&
            !seen_.emplace(finding.file, finding.offset, finding.page, finding.why).second)
            return;
        target_.Report(std::move(finding));
    }

  private:
    CDamageSink& target_;
    std::set<std::tuple<std::string, int64_t, int64_t, std::string>> seen_;
};

}  // namespace

size_t CTableRows::PartitionOf(const RecordBookmark& bookmark) {
    if (bookmark.page == kEndMarkerPage) return 0;
    return static_cast<size_t>((bookmark.page & kPartitionMask) >> kPartitionShift);
}

std::u16string_view CTableRows::PartitionName(const RecordBookmark& bookmark) const {
    const size_t index = PartitionOf(bookmark);
    if (index >= partitions_.size()) return {};
    return partitions_[index].name;
}

std::filesystem::path CTableRows::PartitionTablespace(size_t index) const {
    if (index >= partitions_.size() || table_.engineCode != EngineCode::kInnoDb) return {};
    return FindStorageFile(folder_, partitions_[index].stem, "ibd");
}

OpenRowsResult CTableRows::OpenPartitioned(CAppState& app) {
    if (table_.engineCode != EngineCode::kMyIsam && table_.engineCode != EngineCode::kInnoDb) {
        partitions_.clear();
        return OpenRowsResult::kUnsupportedEngine;
    }
    if (options_.damage) onceSink_ = std::make_unique<COnceSink>(*options_.damage);
    openPartition_ = partitions_.size();
    window_.bookmarks.push_back(PartitionStart(0));
    ReadPartitionedWindow(PartitionStart(0), true, app);
    return ReadFailed() ? OpenRowsResult::kReadError : OpenRowsResult::kOk;
}

void CTableRows::OpenPartition(size_t index, size_t wanted, CAppState& app) {
    CloseReaders();
    partitionWindow_.Reset(table_.columns.size());
    CReadOptions options = options_;
    options.windowRows = wanted;
    options.damage = onceSink_.get();
    openPartition_ = index;
    const CPartitionFile& part = partitions_[index];
    // The writer of the table's windows reads a partition's off-page values
    // from the partition's own tablespace (TablespacePaths); one kept in a
    // shared tablespace is spilled instead.
    options.keepExternal = options.keepExternal && !PartitionTablespace(index).empty();
    if (part.root != 0 && FindStorageFile(folder_, part.stem, "ibd").empty()) {
        // Named by the dictionary, but its tablespace is gone.
        if (onceSink_) {
            std::filesystem::path path = folder_ / std::filesystem::path(part.stem);
            path += ".ibd";
            onceSink_->Report(DamageFinding{PathUtf8(path), -1, -1, DamageWhat::kFile,
                                            "data file missing", -1, false});
        }
        return;
    }
    // Each partition has its own count of columns before the first added
    // in place; one made after that has none.
    instantColumnsBefore_ = part.instantColumnsBefore;
    OpenStorage(folder_, part.stem, partitionWindow_, app, options, dictionary_, part.root != 0,
                part.root, part.indexId);
}

void CTableRows::ReadPartitionedWindow(const RecordBookmark& from, bool bookmarkWanted,
                                       CAppState& app) {
    window_.rows.Reset(table_.columns.size());
    window_.windowFull = false;
    size_t index = PartitionOf(from);
    bool atStart = (from.page & kPartitionStartFlag) != 0 || from.page == kEndMarkerPage;
    if (from.page == kEndMarkerPage) return;
    const RecordBookmark local{from.page & kLocalPageMask, from.origin};
    // One pass over the partitions at most: a window never goes back.
    for (; index < partitions_.size(); ++index, atStart = true) {
        const size_t windowRows = std::max<size_t>(options_.windowRows, 1);
        const size_t wanted = windowRows - std::min(windowRows - 1, window_.rows.rowCount());
        if (atStart || openPartition_ != index) OpenPartition(index, wanted, app);
        if (!atStart) {
            if (inno_) {
                inno_->options.windowRows = wanted;
                const bool goesOn = partitionWindow_.windowFull &&
                                    !partitionWindow_.bookmarks.empty() &&
                                    partitionWindow_.bookmarks.back().page == local.page &&
                                    partitionWindow_.bookmarks.back().origin == local.origin;
                // Going on from where the partition's last window ended keeps
                // the reader's bound on a leaf chain that runs in a circle.
                if (!goesOn) {
                    ReadInnoWindowAt(*inno_, local, true, app);
                } else if (!ReadNextInnoWindow(*inno_, app)) {
                    partitionWindow_.rows.Reset(table_.columns.size());
                    partitionWindow_.windowFull = false;
                }
            } else if (myisam_) {
                myisam_->options.windowRows = wanted;
                ReadMyIsamWindowAt(*myisam_, local.origin, true, app);
            }
        }
        window_.rows.AppendRows(partitionWindow_.rows, static_cast<uint16_t>(index));
        if (partitionWindow_.windowFull && !partitionWindow_.bookmarks.empty()) {
            window_.windowFull = true;
            if (bookmarkWanted)
                window_.bookmarks.push_back(InPartition(index, partitionWindow_.bookmarks.back()));
            return;
        }
    }
}

}  // namespace brix
