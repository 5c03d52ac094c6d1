#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/partitions.h"
#include "innodb/columns.h"
#include "innodb/tablespace.h"
#include "schema/table_def.h"
#include "values/read_options.h"
#include "values/row_window.h"

namespace brix {

class CAppState;
class CCsvTableReader;
class CInnoDictionary;
class CInnoTableReader;
class CMyisamTableReader;

enum class OpenRowsResult {
    kOk,
    kNoDefinition,       // no readable .frm table definition
    kUnsupportedEngine,  // neither MyISAM nor InnoDB
    kReadError,          // the file layer reported an error
    // A MySQL 8.0+ table whose columns were added or dropped in place (instant
    // columns, row versions): its rows are not read rather than garbled.
    kChangedInPlace,
};

// One table opened for reading its rows, whatever its engine: its definition,
// the window of rows last read with the bookmarks of the windows so far, and
// the reader of its engine, which it owns. What the front ends read rows
// through (the record browser, the rows command, a save run); they never see
// an engine's reader. Neither copied nor moved: the engine reader refers to
// the definition and the window beside it.
// The two cells a row of deleted-rows mode has after the table's columns:
// where the row was found ("delete-marked", "free-list", "deleted-slot",
// "deleted-block") and the comma-separated names of the columns whose bytes
// were overwritten (empty when none; those cells are NULL).
inline constexpr char16_t kDeletedSourceColumn[] = u"_source";
inline constexpr char16_t kDeletedUnknownColumn[] = u"_unknown";

class CTableRows {
  public:
    CTableRows();
    ~CTableRows();
    CTableRows(const CTableRows&) = delete;
    CTableRows& operator=(const CTableRows&) = delete;

    // Reads the table's .frm from databaseFolder and its first window of rows
    // through the reader of its engine, after closing what was open. MyISAM
    // tables are read from their .MYI and .MYD files. InnoDB tables from their
    // own .ibd when it exists, else from the system tablespace of dictionary;
    // with an open dictionary the stored column types and the clustered root
    // come from it, without one the layout is derived from the .frm alone.
    // The reader shares the tablespace it reads with the dictionary, so the
    // dictionary may close or open another at any time.
    OpenRowsResult Open(const std::filesystem::path& databaseFolder, std::u16string_view tableName,
                        CAppState& app, const CReadOptions& options = {},
                        const CInnoDictionary* dictionary = nullptr);

    // Reads the table's definition from the .frm (or, for MySQL 8.0 and
    // later, the tablespace whose dictionary information holds it) at
    // definition and the rows of the data file at dataFile as Open does
    // with options.recoverFrom; a MyISAM table's layout is taken from the
    // .MYI beside definition when there is one. kNoDefinition when the
    // definition cannot be read.
    OpenRowsResult OpenRecovered(const std::filesystem::path& definition,
                                 const std::filesystem::path& dataFile, CAppState& app,
                                 CReadOptions options = {});

    // With options.recoverFrom the rows come from that file: for InnoDB,
    // the leaf pages of the one index in it whose records all fit the
    // definition (FindRecoveryIndex, FindPageRecords): live records with the
    // source "recovered-page", delete-marked and freed ones as deleted rows
    // are; a file without such an index gives an empty window and a finding.
    // For MyISAM, the file is read as the table's data file: its live rows
    // ("recovered-row"), then its deleted ones.
    //
    // With options.deleted the windows hold the rows of deleted records
    // that the files still hold instead of the live rows, each with the two
    // cells kDeletedSourceColumn and kDeletedUnknownColumn after the table's
    // columns; bookmarks and paging work as for live rows.
    //
    // Reads the window that starts at from into the window (emptied first),
    // as paging does: a window that fills appends the bookmark of the window
    // after it only when bookmarkWanted is set. Nothing is read when the
    // table's storage is not open.
    void ReadWindowAt(const RecordBookmark& from, bool bookmarkWanted, CAppState& app);

    // When the current window filled, reads the window that follows it from
    // the last bookmark and returns true; false when the table has no more
    // rows.
    bool ReadNextWindow(CAppState& app);

    // Closes the table's data files and forgets its definition, rows and
    // bookmarks.
    void Close();

    // The file layer reported a read error in the table's data files.
    bool ReadFailed() const;
    // The tablespace file the rows come from, where the off-page values of
    // the windows are read (CExternalValues); empty for a table that has
    // none open.
    std::filesystem::path TablespacePath() const;
    // The tablespace files the windows' off-page values are read from, by
    // the source number their references carry: the table's own, or one per
    // partition (empty for a partition whose values are spilled instead).
    std::vector<std::filesystem::path> TablespacePaths() const;

    // The windows hold deleted rows (the table was opened with
    // options.deleted), and how many cells each row has.
    bool deletedMode() const { return deleted_; }
    size_t WindowColumns() const { return table_.columns.size() + (deleted_ ? 2 : 0); }
    // The rows the table's files count: a MyISAM index file's count of the
    // rows it holds (deleted ones not among them), a CSV meta file's count.
    // -1 where no file counts
    // them (InnoDB, a missing or unusable index file); a damaged file may
    // count wrongly.
    int64_t CountedRows() const;

    // The leaf partitions of a partitioned table in the order its rows are
    // read; empty for a table that is not partitioned.
    const std::vector<CPartitionFile>& partitions() const { return partitions_; }
    // The partition a bookmark of this table's windows starts in (0 for a
    // table that is not partitioned); its name, empty when there is none.
    static size_t PartitionOf(const RecordBookmark& bookmark);
    std::u16string_view PartitionName(const RecordBookmark& bookmark) const;
    // The .ibd file of an InnoDB partition; empty when it has none.
    std::filesystem::path PartitionTablespace(size_t index) const;

    const CTableDef& table() const { return table_; }
    CWindowState& window() { return window_; }
    const CWindowState& window() const { return window_; }
    CRowWindow& rows() { return window_.rows; }
    const CRowWindow& rows() const { return window_.rows; }

  private:
    void CloseReaders();
    void ReadDeletedWindowAt(const RecordBookmark& from, bool bookmarkWanted, CAppState& app);
    // Recovery of a file no table owns (table_rows_recovery.cpp): opens
    // options.recoverFrom for the definition read, myi naming the MyISAM
    // index file whose layout is taken (may not exist).
    OpenRowsResult OpenRecovery(const std::filesystem::path& myi, const CReadOptions& options,
                                CAppState& app);
    // A MyISAM window of recovered rows: bookmark page 0 for the live rows,
    // 1 for the deleted ones after them.
    void ReadRecoveredMyisamWindow(const RecordBookmark& from, bool bookmarkWanted, CAppState& app);
    // Reads the definition from the dictionary information of the table's
    // .ibd (MySQL 8.0 and later), or of the general tablespace of the data
    // directory that holds it (sharedSpace_ is set then); the root page of its clustered index, 0
    // when there is no such definition (the definition is then empty).
    // changedInPlace says whether columns were added or dropped in place;
    // indexId is the id the index's pages carry (0: not named). Damaged
    // dictionary pages are reported to damage.
    uint32_t ReadDefinitionFromTablespace(const std::filesystem::path& databaseFolder,
                                          std::u16string_view tableName, const CAppState& app,
                                          bool& changedInPlace, uint64_t& indexId,
                                          CDamageSink* damage);

    // A MySQL 8.0+ table without a tablespace of its own name: its definition
    // from its first partition's dictionary information, and the partitions
    // that information lists (empty when none).
    std::vector<CSdiPartition> ReadPartitionedDefinition(
        const std::filesystem::path& databaseFolder, std::u16string_view tableName,
        const CAppState& app, bool& changedInPlace);
    // Opens the table's files named stem (the table's own or a partition's)
    // with a reader that fills window, and reads its first window.
    OpenRowsResult OpenStorage(const std::filesystem::path& databaseFolder,
                               std::u16string_view stem, CWindowState& window, CAppState& app,
                               const CReadOptions& options, const CInnoDictionary* dictionary,
                               bool fromTablespace, uint32_t sdiRoot, uint64_t sdiIndexId);
    // A partitioned table: reads windows partition after partition, each
    // window filled from as many partitions as it takes (table_rows_partitions.cpp).
    OpenRowsResult OpenPartitioned(CAppState& app);
    void ReadPartitionedWindow(const RecordBookmark& from, bool bookmarkWanted, CAppState& app);
    // Opens partition index and reads its first rows, at most wanted of them.
    void OpenPartition(size_t index, size_t wanted, CAppState& app);

    CTableDef table_;
    CWindowState window_;
    // Partitioned tables only: the partitions, the one whose reader is open
    // (partitions_.size() when none), the window that reader fills (its rows
    // are copied into window_), and what opening another partition needs.
    std::vector<CPartitionFile> partitions_;
    size_t openPartition_ = 0;
    CWindowState partitionWindow_;
    std::filesystem::path folder_;
    CReadOptions options_;
    const CInnoDictionary* dictionary_ = nullptr;
    // Passes each finding on once: a partition opened again for paging back
    // finds what it found before.
    std::unique_ptr<CDamageSink> onceSink_;
    // At most one of the three is open.
    std::unique_ptr<CMyisamTableReader> myisam_;
    std::unique_ptr<CInnoTableReader> inno_;
    std::unique_ptr<CCsvTableReader> csv_;
    bool deleted_ = false;
    // The rows come from a file no table owns (options.recoverFrom); a
    // MyISAM one's live rows through their own reader into partitionWindow_.
    bool recovering_ = false;
    std::unique_ptr<CMyisamTableReader> myisamLive_;
    // The link length of a MyISAM table's index file, for its deleted slots.
    uint32_t myisamPointerLength_ = 0;
    // The record layouts of a MySQL table whose rows carry versions.
    std::vector<CVersionedColumn> rowVersions_;
    // Columns added in place before MySQL 8.0.29, from the same information.
    CInstantColumns instantColumns_;
    // The count of columns before the first added in place of the table or
    // partition being opened: partitions keep counts of their own.
    uint32_t instantColumnsBefore_ = 0;
    // A MySQL table kept in a general tablespace: that file (empty for a
    // table with a tablespace of its own).
    std::filesystem::path sharedSpace_;
};

// Reads the off-page values that windows keep by their reference
// (CReadOptions::keepExternal) through a read-only handle of the tablespace
// of its own: a writer on another thread than the reader's uses it while the
// reader reads on.
class CExternalValues {
  public:
    // Opens the one tablespace every reference points into.
    bool Open(const std::filesystem::path& tablespace);
    // Takes the tablespaces of the references' source numbers (see
    // CTableRows::TablespacePaths); each is opened when a value first needs
    // it. False when the first cannot be opened.
    bool Open(std::vector<std::filesystem::path> sources);
    bool IsOpen() const { return !sources_.empty(); }

    // Passes the text of the window's external cell (row, column), rendered
    // as export mode renders a value kept in the record, to sink in pieces
    // of at most about a page's worth of bytes, in order. Never holds the
    // whole value, but for the columns whose text needs all of it at once
    // (JSON, spatial, CHAR, typed binary, character sets read through
    // iconv). A chain that breaks off gives what came before the break and
    // is reported to damage as the reader reports it.
    void Render(const CTableDef& table, const CRowWindow& window, size_t row, size_t column,
                const CAppState& app, CDamageSink* damage,
                const std::function<void(std::u16string_view)>& sink);

    // The same for a column's bytes in the record, given alone; true when
    // the chain gave the value's whole length. chunk, when not 0, cuts every
    // part of the chain into pieces of that many bytes, as a value split
    // anywhere is rendered.
    bool RenderBytes(const CColumnDef& column, ByteSpan bytes, const CAppState& app,
                     const std::function<void(std::u16string_view)>& sink, size_t chunk = 0);

  private:
    // The tablespace of a source number, opened at first use; null when
    // there is none or it cannot be opened.
    CTablespace* Source(uint16_t source);

    std::vector<std::filesystem::path> sources_;
    std::vector<std::unique_ptr<CTablespace>> spaces_;
    // What RenderBytes reads: the source of the value being rendered; an
    // empty tablespace (every chain broken at once) when there is none.
    CTablespace none_;
    CTablespace* space_ = &none_;
    std::u16string text_;
    std::vector<uint8_t> carry_;
    std::vector<uint8_t> whole_;
};

// Appends the text of a value of column that export mode spilled to the
// file at path: the whole value, rendered as the column renders a value kept
// in the record.
void RenderSpilledValue(const CTableDef& table, size_t column, const std::filesystem::path& path,
                        const CAppState& app, std::u16string& out);

}  // namespace brix
