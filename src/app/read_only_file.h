#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace brix {

// Bytes that stand in for the file at path: opening that path reads them
// instead of the file system's. For the fuzz targets, which hand a reader
// their input without writing it out; the program never puts any here, so it
// always reads its files from disk. Not for use while readers run on other
// threads.
void PutMemoryFile(const std::filesystem::path& path, std::vector<uint8_t> bytes);
// The same without a copy: the caller keeps bytes alive and unchanged until
// the path is put again or cleared, and no file opened on it is read after.
void LendMemoryFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);
void ClearMemoryFiles();

// What a file put in memory holds.
struct CMemoryBytes {
    std::vector<uint8_t> owned;
    std::span<const uint8_t> bytes;
};

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
    size_t ReadMemory(uint64_t pos, void* buf, size_t n) const;

#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    mutable bool failed_ = false;
    // The bytes of a file put in memory, when that is what was opened.
    std::shared_ptr<const CMemoryBytes> memory_;
};

}  // namespace brix
