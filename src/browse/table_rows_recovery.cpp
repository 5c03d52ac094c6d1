// Rows of a data file that no table owns any more (a dropped table's
// tablespace or data file, or a system tablespace that held it), read by the
// definition of a table that has its layout.
//
// InnoDB: the file's pages carry no name; the leaf pages of the one index
// whose every record fits the definition are taken, and only their records,
// so that pages of another index or another table give no rows. MyISAM: the
// file is read as the table's data file, its live rows and then its deleted
// ones.

#include "app/app_state.h"
#include "app/file_names.h"
#include "browse/table_rows.h"
#include "catalogue/partitions.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/deleted_records.h"
#include "innodb/inno_table_reader.h"
#include "innodb/page_check.h"
#include "innodb/page_recovery.h"
#include "myisam/deleted_rows.h"
#include "myisam/myisam_header.h"
#include "myisam/myisam_reader.h"
#include "schema/frm_reader.h"
#include "sdi/sdi_reader.h"
#include "sdi/sdi_table.h"

namespace brix {

namespace {

// The source cell of a live row of a recovered MyISAM data file.
constexpr char16_t kRecoveredRowSource[] = u"recovered-row";
// Bookmark pages of a recovered MyISAM file's windows.
constexpr uint64_t kLivePhase = 0;
constexpr uint64_t kDeletedPhase = 1;

// The count of columns before the first added in place of the partition
// whose file is path ("t#p#p0.ibd", "t#p#p0#sp#s0.ibd"), when the table's
// dictionary information lists it; fallback otherwise.
uint32_t PartitionColumnsBefore(const std::filesystem::path& path, std::string_view json,
                                uint32_t fallback) {
    const auto lower = [](std::u16string text) {
        for (char16_t& c : text)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        return text;
    };
    const std::u16string stem = lower(PathComponentText(path.stem()));
    for (const CSdiPartition& part : PartitionsInSdi(json)) {
        const std::u16string name = lower(part.name);
        for (const std::u16string marker : {u"#p#", u"#sp#"}) {
            const std::u16string tail = marker + name;
            if (stem.size() > tail.size() && stem.ends_with(tail)) return part.instantColumnsBefore;
        }
    }
    return fallback;
}

void ReportFile(CDamageSink* damage, const std::filesystem::path& path, DamageWhat what,
                std::string why) {
    if (damage)
        damage->Report(DamageFinding{PathUtf8(path), -1, -1, what, std::move(why), -1, false});
}

}  // namespace

OpenRowsResult CTableRows::OpenRecovered(const std::filesystem::path& definition,
                                         const std::filesystem::path& dataFile, CAppState& app,
                                         CReadOptions options) {
    Close();
    options.recoverFrom = dataFile;
    ReadTableDefinition(table_, definition, app, options.damage);
    rowVersions_.clear();
    instantColumns_ = {};
    instantColumnsBefore_ = 0;
    if (table_.columns.empty()) {
        // A MySQL 8.0+ tablespace holds its table's definition itself.
        for (const SdiObject& object : ReadSdi(definition, options.damage).objects) {
            if (object.type != kSdiTypeTable) continue;
            SdiTableInfo info;
            std::string problem;
            if (!TableDefFromSdi(object.json, app, table_, info, problem)) continue;
            if (info.changedInPlace && info.rowVersions.empty()) {
                table_.Reset();
                return OpenRowsResult::kChangedInPlace;
            }
            rowVersions_ = std::move(info.rowVersions);
            instantColumns_ = std::move(info.instantColumns);
            instantColumnsBefore_ =
                PartitionColumnsBefore(definition, object.json, instantColumns_.columnsBefore);
            break;
        }
    }
    if (table_.columns.empty()) return OpenRowsResult::kNoDefinition;
    deleted_ = true;
    window_.rows.Reset(WindowColumns());
    std::filesystem::path myi = definition;
    myi.replace_extension(".MYI");
    return OpenRecovery(myi, options, app);
}

OpenRowsResult CTableRows::OpenRecovery(const std::filesystem::path& myi,
                                        const CReadOptions& options, CAppState& app) {
    recovering_ = true;
    const std::filesystem::path& path = options.recoverFrom;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        ReportFile(options.damage, path, DamageWhat::kFile,
                   std::filesystem::exists(path, error) ? "data file cannot be read"
                                                        : "data file missing");
        return OpenRowsResult::kOk;
    }
    if (table_.engineCode == EngineCode::kInnoDb) {
        inno_ = std::make_unique<CInnoTableReader>(table_, window_, options);
        auto space = std::make_shared<CTablespace>();
        if (!space->Open(path)) {
            ReportFile(options.damage, path, DamageWhat::kFile, "data file cannot be read");
            return OpenRowsResult::kOk;
        }
        inno_->space = space;
        inno_->fileName = space->pathText();
        inno_->perTableSource = true;
        BuildColumnsFromFrm(*inno_, app);
        if (!ApplyInPlaceLayout(*inno_, rowVersions_, instantColumns_, instantColumnsBefore_,
                                app)) {
            inno_.reset();
            return OpenRowsResult::kChangedInPlace;
        }
        const std::string reason = UnreadFormatReason(ReadSpaceFormat(space->Page(0)));
        if (!reason.empty()) {
            ReportFile(options.damage, path, DamageWhat::kTable, reason);
            return OpenRowsResult::kOk;
        }
        RecoveryIndex index = FindRecoveryIndex(*inno_, *space, app);
        // No page fits the definition's layout: the table may have been
        // changed in place by MariaDB, whose records follow the metadata
        // under the index's root.
        if (index.indexId == 0 && rowVersions_.empty() && instantColumns_.columnsBefore == 0)
            index = FindInstantRecoveryIndex(*inno_, *space, app);
        if (index.indexId == 0) {
            ReportFile(options.damage, path, DamageWhat::kFile,
                       "no pages in the file hold records of the table");
            return space->Failed() ? OpenRowsResult::kReadError : OpenRowsResult::kOk;
        }
        inno_->indexId = index.indexId;
        inno_->indexIdKnown = true;
        window_.bookmarks.push_back(RecordBookmark{0, 0});
        FillDeletedWindow(*inno_, *space, 0, 0, true, app, true);
        return space->Failed() ? OpenRowsResult::kReadError : OpenRowsResult::kOk;
    }
    if (table_.engineCode != EngineCode::kMyIsam) return OpenRowsResult::kUnsupportedEngine;
    // The layout is the table's index file's when it has one; its counts
    // and lengths are of another data file and are not taken.
    myisamLive_ = std::make_unique<CMyisamTableReader>(table_, partitionWindow_, options);
    std::string unusable;
    ReadMyisamHeader(table_, myisamLive_->header, myi, &unusable);
    if (!unusable.empty()) MyisamHeaderFromDefinition(table_, myisamLive_->header);
    myisamLive_->header.records = -1;
    myisamLive_->header.dataFileLength = -1;
    if (myisamLive_->header.myisamRowFormat == 2) {
        ReportFile(options.damage, path, DamageWhat::kTable,
                   "rows compressed with myisampack are not read yet");
        return OpenRowsResult::kOk;
    }
    myisamPointerLength_ = unusable.empty() ? ReadMyisamPointerLength(myi) : 0;
    myisam_ = std::make_unique<CMyisamTableReader>(table_, window_, options);
    myisam_->header = myisamLive_->header;
    myisam_->dataPath = path;
    partitionWindow_.Reset(table_.columns.size());
    if (!ReadFirstMyIsamWindow(*myisamLive_, path, app) || !myisam_->dataFile.Open(path))
        return OpenRowsResult::kReadError;
    window_.bookmarks.push_back(RecordBookmark{kLivePhase, 0});
    ReadRecoveredMyisamWindow(RecordBookmark{kLivePhase, 0}, true, app);
    return ReadFailed() || myisamLive_->dataFile.Failed() ? OpenRowsResult::kReadError
                                                          : OpenRowsResult::kOk;
}

void CTableRows::ReadRecoveredMyisamWindow(const RecordBookmark& from, bool bookmarkWanted,
                                           CAppState& app) {
    const size_t columns = table_.columns.size();
    window_.rows.Reset(WindowColumns());
    window_.windowFull = false;
    if (!myisam_ || !myisamLive_ || from.origin < 0) return;
    if (from.page == kLivePhase) {
        partitionWindow_.bookmarks.clear();
        ReadMyIsamWindowAt(*myisamLive_, from.origin, true, app);
        const CRowWindow& live = partitionWindow_.rows;
        for (size_t row = 0; row < live.rowCount(); ++row) {
            window_.rows.BeginRow();
            for (size_t c = 0; c < columns; ++c) {
                if (live.IsNull(row, c)) {
                    window_.rows.SetNull(c);
                    continue;
                }
                const size_t start = window_.rows.arena().size();
                window_.rows.arena() += live.Text(row, c);
                window_.rows.SetCell(c, start, false);
                if (live.IsSpilled(row, c)) window_.rows.MarkSpilled(c);
            }
            const size_t start = window_.rows.arena().size();
            window_.rows.arena() += kRecoveredRowSource;
            window_.rows.SetCell(columns, start, false);
        }
        RecordBookmark next{kDeletedPhase, 0};
        if (partitionWindow_.windowFull && !partitionWindow_.bookmarks.empty())
            next = RecordBookmark{kLivePhase, partitionWindow_.bookmarks.back().origin};
        else if (live.rowCount() == 0)
            // No live rows left: the deleted ones follow in this window.
            return ReadRecoveredMyisamWindow(next, bookmarkWanted, app);
        window_.windowFull = true;
        if (bookmarkWanted && !window_.suppressBookmark) window_.bookmarks.push_back(next);
        return;
    }
    const size_t before = window_.bookmarks.size();
    ReadDeletedRowWindow(*myisam_, static_cast<uint64_t>(from.origin), myisamPointerLength_,
                         bookmarkWanted, app);
    // The deleted rows' reader names its bookmarks by position alone.
    for (size_t i = before; i < window_.bookmarks.size(); ++i)
        window_.bookmarks[i].page = kDeletedPhase;
}

}  // namespace brix
