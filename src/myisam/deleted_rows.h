#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "app/byte_reader.h"
#include "myisam/myisam_reader.h"

namespace brix {

class CAppState;

// Bytes of the links the table's files keep to rows: the index file's
// record-reference length (a byte of its base information), which is also
// how many bytes after the first a deleted fixed-length slot's link
// overwrote. 0 when the file is missing or too short to say.
uint32_t ReadMyisamPointerLength(const std::filesystem::path& myi);

// What is known of one deleted row image: which columns' bytes the deletion
// overwrote (their value and NULL flag are unknown).
struct DeletedImage {
    std::vector<bool> unknown;  // by column
};

// Whether the fixed-length slot image (stride bytes) is a deleted row that
// can be shown: its first byte is 0 (the delete mark, cleared), the
// pointerLength bytes after it link to the next free slot or to none (all
// 0xFF), and every column the link left whole holds a value its type can
// (PlausibleStoredValue; a NULL only where the column may be NULL), not all
// of them zero. fileLength bounds the link. pointerLength 0 (not known)
// takes the longest link there can be and checks none. Fills what with the
// overwritten columns. Any bytes are safe.
bool PlausibleDeletedSlot(const CTableDef& table, ByteSpan image, uint64_t stride,
                          uint64_t fileLength, uint32_t pointerLength, const CAppState& app,
                          DeletedImage& what);

// Fills the window (emptied first, with the table's columns, then _source
// and _unknown) with the deleted rows of the data file from start on:
// deleted slots of fixed-length rows ("deleted-slot"), deleted blocks of
// dynamic ones ("deleted-block", a record over several blocks read through
// the links its free blocks kept); overwritten columns NULL and named in
// _unknown. Moves over at most kWindowScanBytes and a window of rows before
// it ends; a window that ends before the file does sets windowFull and,
// when wanted, appends the bookmark of where the next one starts. Compressed
// tables give nothing. Returns false when the file layer reported an error.
bool ReadDeletedRowWindow(CMyisamTableReader& myisam, uint64_t start, uint32_t pointerLength,
                          bool wantBookmark, const CAppState& app);

}  // namespace brix
