#pragma once

#include <cstdint>
#include <vector>

#include "app/block_reader.h"
#include "myisam/block_header.h"
#include "myisam/myisam_reader.h"
#include "myisam/myisam_row.h"

namespace brix {

class CAppState;

// Reads the 20-byte block header at pos (fields past the end of the file read
// as zero) into info, replacing everything it held but secondRead, which says
// whether a continuation block is expected. Returns the status bits.
int ReadBlockHeader(CBlockReader& reader, uint64_t pos, MyisamBlockInfo& info);

// Appends to the window the records of a dynamic data file from start on: a
// record is shown at its first block, its later blocks joined to it through
// their chain, free and out-of-place blocks skipped. Ends with a full window
// (windowFull, and the bookmark of the next record when wanted) or at the end
// of the file of fileLength bytes. Damaged blocks never stop the scan from
// moving forward: a record whose chain is broken is left out and the scan
// goes on after its first block. Returns false when the file layer reported a
// read error.
bool ReadDynamicRowWindow(CMyisamTableReader& myisam, uint64_t start, uint64_t fileLength,
                          bool wantBookmark, const CAppState& app);

// Unpacks one joined dynamic record into a row image and appends its row to
// the window; a record that does not fit the field layout of the index file
// is dropped. Returns true when a row was appended.
class CDynamicRecordUnpacker {
  public:
    CDynamicRecordUnpacker(const CMyisamTableReader& myisam, const CAppState& app);
    bool UnpackDynamicRecord(CMyisamTableReader& myisam, ByteSpan record);

  private:
    CMyIsamRowRenderer renderer_;
    std::vector<uint8_t> image_;
    std::vector<ByteSpan> blobs_;
};

}  // namespace brix
