#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/damage_report.h"
#include "innodb/page.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// One entry of SYS_TABLES.
struct SysTableRec {
    std::u16string name;  // database/table
    uint64_t tableId = 0;
    uint32_t columnCount = 0;
    uint32_t flags = 0;  // TYPE: row format and other table flags
    uint32_t spaceId = 0;
    bool deleted = false;  // delete-marked: dropped, or renamed away
};

// One entry of SYS_COLUMNS.
struct SysColumnRec {
    uint64_t tableId = 0;
    uint32_t pos = 0;  // position among the table's stored columns
    std::u16string name;
    uint32_t mtype = 0;
    uint32_t prtype = 0;
    uint32_t len = 0;
    uint32_t prec = 0;
    uint32_t minCharBytes = 0;
    uint32_t maxCharBytes = 0;
    uint32_t charWidths = 0;  // minCharBytes + 5 * maxCharBytes
};

// One entry of SYS_INDEXES.
struct SysIndexRec {
    uint64_t tableId = 0;
    uint64_t indexId = 0;
    std::u16string name;
    uint32_t fieldCount = 0;
    uint32_t type = 0;  // bit 0: clustered
    uint32_t spaceId = 0;
    uint32_t rootPage = 0;
};

// One entry of SYS_TABLESPACES (MySQL 5.7, MariaDB 10.1 to 10.5): a
// tablespace other than the system tablespace, by id.
struct SysTablespaceRec {
    uint32_t spaceId = 0;
    std::u16string name;
    uint32_t flags = 0;
    bool deleted = false;
};

// One entry of SYS_DATAFILES: the file of a tablespace, as the server wrote
// its path (relative ones from the data directory, "./db/t.ibd").
struct SysDatafileRec {
    uint32_t spaceId = 0;
    std::u16string path;
    bool deleted = false;
};

// The system tablespace (ibdata1) and the three dictionary tables read from
// it: which tables InnoDB knows, the stored types of their columns and the
// root pages of their indexes. Tables stored in the system tablespace are
// read through its file as well.
class CInnoDictionary {
  public:
    // Opens the system tablespace at path read-only and reads SYS_TABLES,
    // SYS_COLUMNS and SYS_INDEXES from it. The lists of an earlier Open are
    // emptied first, so that a new scan never sees an old one's entries.
    // False when the file cannot be opened; the lists stay empty then.
    // Damaged dictionary pages are reported to damage when given.
    bool Open(const std::filesystem::path& path, const CAppState& app,
              CDamageSink* damage = nullptr);
    void Close();
    bool IsOpen() const { return space_ && space_->IsOpen(); }

    // The table id of the first SYS_TABLES entry named exactly name
    // ("db/table"), preferring one that is not delete-marked; without one,
    // of the first live entry whose name differs only in the case of ASCII
    // letters (a server on a system that ignores case wrote names in lower
    // case); 0 for none.
    uint64_t FindTableId(std::u16string_view name) const;
    // The root page of the first clustered index (TYPE bit 0) of the table,
    // or 0.
    uint32_t FindClusteredRoot(uint64_t tableId) const;
    // The index id of that index, which its pages carry; 0 for none.
    uint64_t FindClusteredIndexId(uint64_t tableId) const;
    const SysTableRec* FindTable(uint64_t tableId) const;
    // The path SYS_DATAFILES gives the file of tablespace spaceId, preferring
    // an entry not delete-marked; empty when it names none (the system
    // tablespace, 0, has none).
    std::u16string FindDatafilePath(uint32_t spaceId) const;

    // SYS_TABLESPACES and SYS_DATAFILES, when the dictionary has them (MySQL
    // 5.7 keeps its general tablespaces, CREATE TABLESPACE, there); found
    // through SYS_TABLES and SYS_INDEXES like any table of the system
    // tablespace. Empty for servers without them.
    const std::vector<SysTablespaceRec>& tablespaces() const { return tablespaces_; }
    const std::vector<SysDatafileRec>& datafiles() const { return datafiles_; }

    const std::vector<SysTableRec>& tables() const { return tables_; }
    const std::vector<SysColumnRec>& columns() const { return columns_; }
    const std::vector<SysIndexRec>& indexes() const { return indexes_; }

    // Calls visit with every record of the leaves of the REDUNDANT-layout
    // index whose root is rootPage in the system tablespace, in leaf order:
    // the page's bytes, the record's fields and whether it is delete-marked.
    // Damaged pages are reported to damage (when given) under tableName;
    // the walk stops at a leaf chain that loops or leaves the file, and
    // reads no more records per page than a page can hold.
    using RecordVisitor =
        std::function<void(ByteSpan page, const std::vector<RedundantField>&, bool deleted)>;
    void VisitDictionaryRecords(uint32_t rootPage, std::string_view tableName,
                                const RecordVisitor& visit, CDamageSink* damage) const;

    // The system tablespace, for the rows and off-page data of the tables it
    // holds: shared, so that a table read from it keeps it open after the
    // dictionary closes or opens another; null while closed.
    const std::shared_ptr<CTablespace>& space() const { return space_; }

  private:
    void ReadDictionaryTable(uint32_t rootPage, int kind, const CAppState& app);

    std::shared_ptr<CTablespace> space_;
    CDamageSink* damage_ = nullptr;  // during Open only
    std::vector<SysTableRec> tables_;
    std::vector<SysColumnRec> columns_;
    std::vector<SysIndexRec> indexes_;
    std::vector<SysTablespaceRec> tablespaces_;
    std::vector<SysDatafileRec> datafiles_;
};

}  // namespace brix
