#pragma once

#include <cstdint>

#include "app/byte_reader.h"
#include "innodb/page.h"
#include "innodb/page_check.h"
#include "innodb/tablespace.h"

namespace brix {

// An index page as the record walks see it, its headers read and checked
// once: a whole page (of a size InnoDB writes) of an index page type, its record layout from the
// format bit, whether its infimum is in place. The walks then ask the view
// rather than the bytes for where the records of the page start and end.
class CIndexPageView {
  public:
    explicit CIndexPageView(ByteSpan page)
        : page_(page),
          fil_(ReadFilHeader(page)),
          header_(ReadIndexPageHeader(page)),
          layout_(header_.compact() ? RecordLayout::kCompact : RecordLayout::kRedundant),
          isIndex_(ValidPageSize(page.size()) && IsIndexPage(fil_)),
          hasInfimum_(HasInfimum(page, layout_)) {}

    ByteSpan bytes() const { return page_; }
    const FilHeader& fil() const { return fil_; }
    const IndexPageHeader& header() const { return header_; }
    RecordLayout layout() const { return layout_; }
    bool compact() const { return layout_ == RecordLayout::kCompact; }
    uint16_t level() const { return header_.level; }
    uint32_t size() const { return static_cast<uint32_t>(page_.size()); }
    // Record origins at or past this leave no room for a record's data.
    uint32_t lastOrigin() const { return size() > 8 ? size() - 8 : 0; }

    // A whole page of an index page type.
    bool isIndexPage() const { return isIndex_; }
    // An index page whose records can be walked: its infimum is in place.
    bool holdsRecords() const { return isIndex_ && hasInfimum_; }

    // Where the supremum starts in this layout.
    uint32_t supremum() const { return compact() ? kCompactSupremum : kRedundantSupremum; }
    uint32_t FirstRecord() const { return brix::FirstRecord(page_, layout_); }
    uint32_t NextRecord(uint32_t origin) const { return brix::NextRecord(page_, origin, layout_); }
    uint8_t InfoBits(uint32_t origin) const { return RecordInfoBits(page_, origin, layout_); }
    // The supremum ends the records: at its fixed place, or by its name.
    bool AtSupremum(uint32_t origin) const {
        return origin == supremum() || IsSupremumBytes(page_, origin);
    }

  private:
    ByteSpan page_;
    FilHeader fil_;
    IndexPageHeader header_;
    RecordLayout layout_;
    bool isIndex_;
    bool hasInfimum_;
};

}  // namespace brix
