#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/byte_reader.h"
#include "app/read_only_file.h"

namespace brix {

// Reads a file through one buffer of a large block, so that a scan that moves
// forward through the file costs one read per block rather than one per
// value. The first block is small and each next one twice as large, up to
// blockSize: a window of rows that ends early reads little past its end.
// Spans it returns stay valid until the next Read.
class CBlockReader {
  public:
    explicit CBlockReader(const CReadOnlyFile& file, size_t blockSize = 1u << 20)
        : file_(file), blockSize_(blockSize), nextBlock_(std::min(blockSize, kFirstBlock)) {}

    // The bytes of the file from pos on, n of them or fewer at the end of the
    // file.
    ByteSpan Read(uint64_t pos, size_t n);

    // The first position from pos on, below limit, that holds a byte other
    // than zero; limit when there is none (or the file ends before it). Runs
    // of zeros, such as the holes of a sparse file, are passed a block at a
    // time.
    uint64_t SkipZeros(uint64_t pos, uint64_t limit);

    // Copies n bytes at pos into out (resized to n); bytes past the end of the
    // file are zero.
    void ReadZeroFilled(uint64_t pos, size_t n, std::vector<uint8_t>& out);

  private:
    static constexpr size_t kFirstBlock = 64 * 1024;

    const CReadOnlyFile& file_;
    size_t blockSize_;
    size_t nextBlock_;
    // The first length_ bytes of buffer_ are the file's from bufferPos_ on;
    // the buffer keeps its size from read to read. It is not cleared when
    // made: only the bytes a read fills are ever looked at.
    std::unique_ptr<uint8_t[]> buffer_;
    size_t capacity_ = 0;
    size_t length_ = 0;
    uint64_t bufferPos_ = 0;
    // The file's length when last asked.
    uint64_t fileLength_ = 0;
    bool lengthKnown_ = false;
};

}  // namespace brix
