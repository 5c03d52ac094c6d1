#pragma once

#include <cstdint>
#include <vector>

#include "app/byte_reader.h"
#include "innodb/page.h"
#include "schema/table_def.h"
#include "values/value_render.h"

namespace brix {

class CAppState;

// Turns clustered-index leaf records of the table into rows of its window.
// Built once per window from the table's physical column list.
class CInnoRecordDecoder {
  public:
    CInnoRecordDecoder(CTableDef& table, CAppState& app);

    // Bytes of the null bitmap of a compact record holding the first fields
    // fields of the physical list.
    size_t NullBitmapBytes(size_t fields) const;

    // Decodes the record at origin into a new row of the window. span is how
    // many data bytes the record may take at most. False when the record's
    // header or data would reach outside the page: the page ends there.
    bool DecodeCompact(ByteSpan page, uint32_t origin, uint32_t span);
    bool DecodeRedundant(ByteSpan page, uint32_t origin);

  private:
    void Render(const CInnoColumnDef& field, ByteSpan bytes, bool external);
    void RenderMissing(const CInnoColumnDef& field);

    CTableDef& table_;
    CAppState& app_;
    RenderContext context_;
    const std::vector<CInnoColumnDef>& fields_;
    // nullableBefore_[i]: nullable fields among the first i.
    std::vector<uint32_t> nullableBefore_;
    std::vector<RedundantField> redundant_;
    std::vector<uint8_t> scratch_;
};

}  // namespace brix
