#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace brix {

// A file opened for reading only. MySQL files are always opened this way: the
// program never writes to them, so it never asks for write access, and files
// on read-only media or without write permission open like any other.
class CReadOnlyFile {
  public:
    CReadOnlyFile() = default;
    ~CReadOnlyFile();
    CReadOnlyFile(CReadOnlyFile&& other) noexcept;
    CReadOnlyFile& operator=(CReadOnlyFile&& other) noexcept;
    CReadOnlyFile(const CReadOnlyFile&) = delete;
    CReadOnlyFile& operator=(const CReadOnlyFile&) = delete;

    // Opens path for reading, closing any file held before. False when it
    // cannot be opened or is not a regular file.
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const;

    // Current length of the file in bytes; 0 when closed.
    uint64_t Length() const;

    // Reads up to n bytes at pos into buf and returns how many were read; fewer
    // than n at the end of the file. A read error is remembered (Failed) and
    // reads as 0 bytes.
    size_t ReadAt(uint64_t pos, void* buf, size_t n) const;

    // Reads n bytes at pos into buf; bytes the file does not have are zero.
    // Returns how many bytes came from the file.
    size_t ReadAtZeroFill(uint64_t pos, void* buf, size_t n) const;

    // Reads up to limit bytes from the start of the file.
    std::vector<uint8_t> ReadAll(size_t limit) const;

    // True once a read failed for a reason other than the end of the file.
    bool Failed() const { return failed_; }

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    mutable bool failed_ = false;
};

}  // namespace brix
