#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/byte_reader.h"
#include "innodb/inno_table_reader.h"
#include "innodb/page.h"
#include "schema/table_def.h"
#include "values/value_render.h"

namespace brix {

class CAppState;

// Where one field of a record lies in its page.
struct FieldSlot {
    uint32_t start = 0;
    uint32_t length = 0;
    bool null = false;
    bool external = false;  // the bytes end with a reference to off-page data
    bool present = true;    // false: written before the field was added
    bool cut = false;       // past the end of a record that is too short
};

// Finds the fields of the compact record at origin, laid out by fields, of
// which records written before columns were added in place hold the first
// coreFields (0: every field). With rowVersions, a record holds the fields
// of the version its header names (version 0 without one). Fields past span
// bytes of data are left empty. False when the header or the data would
// reach outside the page. headerStart, when given, is set to where the
// record's header starts. A table with both (its columns were added in place
// before MySQL 8.0.29 and changed again since) has records of three kinds:
// with a version, with a field count (info bit 0x80), and with neither, which
// hold the core fields. oddity, when given, is set to a plain reason when the
// header does not fit the table (a mark it has no use for, a field count or
// version it does not have) but the record is still read.
bool LocateCompactFields(ByteSpan page, uint32_t origin, uint32_t span,
                         const std::vector<CInnoColumnDef>& fields, uint32_t coreFields,
                         std::vector<FieldSlot>& slots, bool rowVersions = false,
                         uint32_t* headerStart = nullptr, const char** oddity = nullptr);

// The same for a redundant-layout record, whose header gives every field.
bool LocateRedundantFields(ByteSpan page, uint32_t origin, size_t fieldCount,
                           std::vector<FieldSlot>& slots);

// The same for a redundant record of a table whose rows carry versions: the
// record holds, in order, the fields of the version its header names
// (version 0 without one); the others, and those past the stored count, are
// not present.
bool LocateVersionedRedundantFields(ByteSpan page, uint32_t origin,
                                    const std::vector<CInnoColumnDef>& fields,
                                    std::vector<FieldSlot>& slots);

// Turns clustered-index leaf records of the table into rows of its window.
// Built once per window from the reader's physical column list.
class CInnoRecordDecoder {
  public:
    CInnoRecordDecoder(CInnoTableReader& inno, CAppState& app);

    // Decodes the record at origin into a new row of the window. span is how
    // many data bytes the record may take at most. False when the record's
    // header or data would reach outside the page: the page ends there.
    bool DecodeCompact(ByteSpan page, uint32_t origin, uint32_t span);
    bool DecodeRedundant(ByteSpan page, uint32_t origin);

  private:
    void RenderRow(ByteSpan page);
    void Render(const CInnoColumnDef& field, ByteSpan bytes, bool external);
    void RenderMissing(const CInnoColumnDef& field);

    CInnoTableReader& inno_;
    const CTableDef& table_;
    CRowWindow& rows_;
    CAppState& app_;
    RenderContext context_;
    const std::vector<CInnoColumnDef>& fields_;
    std::vector<FieldSlot> slots_;
    // An integer turned little-endian for the renderer: up to 8 bytes here,
    // longer ones in scratch_.
    std::array<uint8_t, 8> littleEndian_{};
    std::vector<uint8_t> scratch_;
};

}  // namespace brix
