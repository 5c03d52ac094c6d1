#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace brix {

// What a finding is about.
enum class DamageWhat {
    kRecord,      // one record or row
    kBlock,       // a MyISAM data block
    kPage,        // an InnoDB page
    kChain,       // a chain of pages or blocks: leaf links, off-page values, record lists
    kDefinition,  // a table, view or trigger definition
    kFile,        // a whole file: missing, unreadable, empty, of a form not read
    kTable,       // a table whose rows are not read at all (engine, encryption, format)
};

// The word a finding's kind is written as in reports ("record", "page" ...).
std::string_view DamageWhatName(DamageWhat what);

// One thing a reader skipped or could not read.
struct DamageFinding {
    // The file it is in, as the reader opened it (UTF-8).
    std::string file;
    // Where in the file: a byte offset, a page number, or neither (-1).
    int64_t offset = -1;
    int64_t page = -1;
    DamageWhat what = DamageWhat::kRecord;
    // Why, in plain words: "checksum mismatch", "record chain loops" ...
    std::string why;
    // How many rows it may have held where the bytes say so; -1 when unknown.
    int64_t rowsLost = -1;
    // Its records were still read (a page with a bad checksum whose records
    // parse): nothing is lost, but the rows come from damaged bytes.
    bool rowsStillRead = false;
};

// Where readers report their findings. Readers get one through their read
// options or as a parameter; null means nobody listens. A reader reports and
// goes on as far as it is safe to.
class CDamageSink {
  public:
    virtual ~CDamageSink() = default;
    virtual void Report(DamageFinding finding) = 0;
};

// Tells a sink each finding of one file once: a reader that reads the same
// bytes again (paging back and forth) reports the same offset and reason
// only the first time. At most kMaxRemembered are told; after them the
// rest are dropped, so that a file of nothing but damage cannot make the
// memory grow without end.
class CFindingsOnce {
  public:
    void Report(CDamageSink* sink, std::string file, int64_t offset, DamageWhat what,
                std::string why, int64_t rowsLost, bool rowsStillRead);

  private:
    static constexpr size_t kMaxRemembered = 20000;
    std::set<std::pair<int64_t, std::string>> reported_;
};

// A sink that keeps the findings of one read, in the order they came, from
// any thread. Keeps at most kMaxKept findings in full; the ones after are
// counted (and their rows summed) but not kept, so that a file of nothing but
// damage cannot make the report grow without end.
class CDamageReport : public CDamageSink {
  public:
    static constexpr size_t kMaxKept = 10000;

    void Report(DamageFinding finding) override;

    // The findings kept so far (a copy, safe while readers still report).
    std::vector<DamageFinding> Findings() const;
    // Findings reported in all, kept or not.
    size_t Count() const;
    // Findings beyond kMaxKept that were only counted.
    size_t Dropped() const;
    // Findings that lost rows or may have (every finding not marked
    // rowsStillRead).
    size_t LossCount() const;
    // The rows the findings say were lost, summed over those that say.
    int64_t RowsLost() const;
    bool Empty() const { return Count() == 0; }
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<DamageFinding> kept_;
    size_t count_ = 0;
    size_t losses_ = 0;
    int64_t rowsLost_ = 0;
};

// One line of text for a finding, as the console and the log show it:
// "file: page 7: page belongs to another index (about 120 rows lost)".
std::string DamageLine(const DamageFinding& finding);

// The finding as one JSON object on one line, no line end.
std::string DamageJson(const DamageFinding& finding);

}  // namespace brix
