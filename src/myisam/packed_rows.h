#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/byte_reader.h"
#include "myisam/huffman_trees.h"
#include "myisam/myisam_header.h"

namespace brix {

class CAppState;
class CMyisamTableReader;

// How the packer stored a field, as the packed data file's header says.
namespace PackedFieldKind {
inline constexpr uint8_t kNormal = 0;
inline constexpr uint8_t kSkipEndSpace = 1;
inline constexpr uint8_t kSkipPreSpace = 2;
inline constexpr uint8_t kSkipZero = 3;
inline constexpr uint8_t kBlob = 4;
inline constexpr uint8_t kConstant = 5;
inline constexpr uint8_t kInterval = 6;
inline constexpr uint8_t kZero = 7;
inline constexpr uint8_t kVarchar = 8;
inline constexpr uint8_t kCheck = 9;
}  // namespace PackedFieldKind

// Flags beside a packed field's kind.
namespace PackedFieldFlag {
inline constexpr uint8_t kSometimes = 1;  // the cut spaces are there in some rows only
inline constexpr uint8_t kEmptyFlag = 2;  // a bit says whether the field is all spaces
inline constexpr uint8_t kZeroTail = 4;   // the last bytes are always zero, not stored
}  // namespace PackedFieldFlag

// One field of the packed record: where it goes in the row image and how its
// bits are read.
struct CPackedField {
    uint8_t kind = PackedFieldKind::kNormal;
    uint8_t flags = 0;
    // Bits of the count of cut spaces, of a VARCHAR or BLOB length; for a
    // zero tail, its bytes.
    uint8_t countBits = 0;
    uint16_t tree = 0;
    uint32_t offset = 0;  // in the row image
    uint32_t length = 0;
    bool blobEntry = false;  // a BLOB of the index file: its data is one of the row's blobs
};

// What the head of a packed data file says: the fields, the code trees, and
// how the records' lengths are written.
struct CPackedLayout {
    uint8_t version = 0;
    uint64_t headerLength = 0;  // where the first record starts
    uint32_t minPackLength = 0;
    uint32_t maxPackLength = 0;
    bool hasBlobs = false;  // each record also gives the length of its blobs
    std::vector<CPackedField> fields;
    std::vector<CHuffmanTree> trees;
};

// The first bytes of a packed data file; the fourth is a version.
inline constexpr uint8_t kPackedFileMagic[] = {0xFE, 0xFE, 0x08};
inline constexpr size_t kPackedFixedHeadSize = 32;

// Whether head (the first bytes of a data file) starts like a packed one.
bool LooksPackedDataFile(ByteSpan head);

// Reads the head of a packed data file (head holds at least its whole header,
// headerLength bytes, when the file does) for the fields of the index file.
// Returns false with why set (a lower-case plain reason) when it cannot be
// used: not a packed file, cut short, a field of unknown kind or naming a tree
// that is not there, a damaged tree.
bool ReadPackedLayout(ByteSpan head, const CMyisamHeader& header, CPackedLayout& layout,
                      std::string& why);

// The bytes a packed file's header says it takes, from its first 32 bytes; 0
// when they are not those of a packed file.
uint64_t PackedHeaderLength(ByteSpan head);

// The length of a record and of its blobs, from the record's head.
struct CPackedRecordHead {
    uint64_t recordLength = 0;
    uint64_t blobLength = 0;
    uint32_t headLength = 0;  // bytes of the head, 1 to 10
};

// Reads the head of the record at the start of bytes; false when bytes end
// before it does.
bool ReadPackedRecordHead(ByteSpan bytes, const CPackedLayout& layout, CPackedRecordHead& head);

// Decodes packed records into row images and the data of their blobs. Holds
// its buffers from record to record: no allocation per value.
class CPackedRecordDecoder {
  public:
    CPackedRecordDecoder(const CPackedLayout& layout, size_t imageLength);

    // Decodes record (recordLength bytes of bits) whose blobs take blobLength
    // bytes. Returns null when every field decoded and the codes used exactly
    // the record's bytes; else a lower-case plain reason, and the image is
    // not to be shown.
    const char* Decode(ByteSpan record, uint64_t blobLength);

    ByteSpan image() const { return image_; }
    // The data of the BLOB fields of the index file, in their order.
    std::span<const ByteSpan> blobs() const { return blobs_; }

  private:
    const CPackedLayout& layout_;
    std::vector<uint8_t> image_;
    std::vector<uint8_t> blobArea_;
    std::vector<ByteSpan> blobs_;
};

// Reads the packed layout of the open data file of the reader into its
// packed member. Returns false, with why, when the header is unusable.
bool LoadPackedLayout(CMyisamTableReader& myisam, std::string& why);

// Appends to the window the packed records from start on (the first record
// when start is before it) until the window is full (then sets windowFull and,
// when wanted, adds the bookmark of the next record) or the data of
// fileLength bytes ends. A record that does not decode is told to the damage
// sink and left out; a record length that cannot be right ends the scan
// short of a place where records decode again. Returns false when the file
// layer reported a read error.
bool ReadPackedRowWindow(CMyisamTableReader& myisam, uint64_t start, uint64_t fileLength,
                         bool wantBookmark, const CAppState& app);

}  // namespace brix
