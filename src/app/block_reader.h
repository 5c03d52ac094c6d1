#pragma once

#include <cstdint>
#include <vector>

#include "app/byte_reader.h"
#include "app/read_only_file.h"

namespace brix {

// Reads a file through one buffer of a large block, so that a scan that moves
// forward through the file costs one read per block rather than one per
// value. Spans it returns stay valid until the next Read.
class CBlockReader {
  public:
    explicit CBlockReader(const CReadOnlyFile& file, size_t blockSize = 1u << 20)
        : file_(file), blockSize_(blockSize) {}

    // The bytes of the file from pos on, n of them or fewer at the end of the
    // file.
    ByteSpan Read(uint64_t pos, size_t n);

    // Copies n bytes at pos into out (resized to n); bytes past the end of the
    // file are zero.
    void ReadZeroFilled(uint64_t pos, size_t n, std::vector<uint8_t>& out);

  private:
    const CReadOnlyFile& file_;
    size_t blockSize_;
    std::vector<uint8_t> buffer_;
    uint64_t bufferPos_ = 0;
};

}  // namespace brix
