#pragma once

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "catalogue/partitions.h"
#include "schema/table_def.h"
#include "values/read_options.h"
#include "values/row_window.h"

namespace brix {

class CAppState;
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
    // A MyISAM table whose rows are compressed, which are not read.
    bool CompressedRows() const;

    // The leaf partitions of a partitioned table in the order its rows are
    // read; empty for a table that is not partitioned.
    const std::vector<CPartitionFile>& partitions() const { return partitions_; }
    // The partition a bookmark of this table's windows starts in (0 for a
    // table that is not partitioned); its name, empty when there is none.
    static size_t PartitionOf(const RecordBookmark& bookmark);
    std::u16string_view PartitionName(const RecordBookmark& bookmark) const;

    const CTableDef& table() const { return table_; }
    CWindowState& window() { return window_; }
    const CWindowState& window() const { return window_; }
    CRowWindow& rows() { return window_.rows; }
    const CRowWindow& rows() const { return window_.rows; }

  private:
    void CloseReaders();
    // Reads the definition from the dictionary information of the table's
    // .ibd (MySQL 8.0 and later); the root page of its clustered index, 0
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
    // At most one of the two is open.
    std::unique_ptr<CMyisamTableReader> myisam_;
    std::unique_ptr<CInnoTableReader> inno_;
};

// Appends the text of a value of column that export mode spilled to the
// file at path: the whole value, rendered as the column renders a value kept
// in the record.
void RenderSpilledValue(const CTableDef& table, size_t column, const std::filesystem::path& path,
                        const CAppState& app, std::u16string& out);

}  // namespace brix
