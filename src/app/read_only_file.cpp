#include "app/read_only_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace brix {

namespace {

using MemoryFiles = std::map<std::filesystem::path, std::shared_ptr<const CMemoryBytes>>;

MemoryFiles& TheMemoryFiles() {
    static MemoryFiles files;
    return files;
}

// Set once any file was put in memory: until then Open never looks.
std::atomic<bool> anyMemoryFile{false};

std::shared_ptr<const CMemoryBytes> FindMemoryFile(const std::filesystem::path& path) {
    if (!anyMemoryFile.load(std::memory_order_relaxed)) return nullptr;
    const MemoryFiles& files = TheMemoryFiles();
    const auto it = files.find(path);
    return it == files.end() ? nullptr : it->second;
}

}  // namespace

void PutMemoryFile(const std::filesystem::path& path, std::vector<uint8_t> bytes) {
    auto held = std::make_shared<CMemoryBytes>();
    held->owned = std::move(bytes);
    held->bytes = held->owned;
    TheMemoryFiles()[path] = std::move(held);
    anyMemoryFile = true;
}

void LendMemoryFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    auto held = std::make_shared<CMemoryBytes>();
    held->bytes = bytes;
    TheMemoryFiles()[path] = std::move(held);
    anyMemoryFile = true;
}

void ClearMemoryFiles() {
    TheMemoryFiles().clear();
    anyMemoryFile = false;
}

CReadOnlyFile::~CReadOnlyFile() {
    Close();
}

CReadOnlyFile::CReadOnlyFile(CReadOnlyFile&& other) noexcept {
    *this = std::move(other);
}

CReadOnlyFile& CReadOnlyFile::operator=(CReadOnlyFile&& other) noexcept {
    if (this != &other) {
        Close();
#ifdef _WIN32
        std::swap(handle_, other.handle_);
#else
        std::swap(fd_, other.fd_);
#endif
        failed_ = other.failed_;
        std::swap(memory_, other.memory_);
    }
    return *this;
}

#ifdef _WIN32

bool CReadOnlyFile::Open(const std::filesystem::path& path) {
    Close();
    if ((memory_ = FindMemoryFile(path))) {
        failed_ = false;
        return true;
    }
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    failed_ = false;
    return true;
}

void CReadOnlyFile::Close() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    memory_.reset();
}

bool CReadOnlyFile::IsOpen() const {
    return handle_ != nullptr || memory_;
}

uint64_t CReadOnlyFile::Length() const {
    if (memory_) return memory_->bytes.size();
    LARGE_INTEGER size;
    if (!handle_ || !GetFileSizeEx(static_cast<HANDLE>(handle_), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

size_t CReadOnlyFile::ReadAt(uint64_t pos, void* buf, size_t n) const {
    if (memory_) return ReadMemory(pos, buf, n);
    if (!handle_) return 0;
    size_t done = 0;
    while (done < n) {
        OVERLAPPED at{};
        uint64_t where = pos + done;
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), static_cast<char*>(buf) + done, want, &got,
                      &at)) {
            if (GetLastError() != ERROR_HANDLE_EOF) failed_ = true;
            break;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

#else

bool CReadOnlyFile::Open(const std::filesystem::path& path) {
    Close();
    if ((memory_ = FindMemoryFile(path))) {
        failed_ = false;
        return true;
    }
    // O_NONBLOCK: opening a FIFO that carries a MySQL file's name would
    // otherwise wait for a writer; it is refused below as not a regular file.
    // Reads of regular files do not change with it.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    failed_ = false;
    return true;
}

void CReadOnlyFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    memory_.reset();
}

bool CReadOnlyFile::IsOpen() const {
    return fd_ >= 0 || memory_;
}

uint64_t CReadOnlyFile::Length() const {
    if (memory_) return memory_->bytes.size();
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

size_t CReadOnlyFile::ReadAt(uint64_t pos, void* buf, size_t n) const {
    if (memory_) return ReadMemory(pos, buf, n);
    if (fd_ < 0) return 0;
    size_t done = 0;
    while (done < n) {
        ssize_t got =
            ::pread(fd_, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(pos + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

#endif

size_t CReadOnlyFile::ReadMemory(uint64_t pos, void* buf, size_t n) const {
    const std::span<const uint8_t> bytes = memory_->bytes;
    if (pos >= bytes.size()) return 0;
    const size_t got = static_cast<size_t>(std::min<uint64_t>(n, bytes.size() - pos));
    std::memcpy(buf, bytes.data() + pos, got);
    return got;
}

size_t CReadOnlyFile::ReadAtZeroFill(uint64_t pos, void* buf, size_t n) const {
    size_t got = ReadAt(pos, buf, n);
    if (got < n) std::memset(static_cast<char*>(buf) + got, 0, n - got);
    return got;
}

std::vector<uint8_t> CReadOnlyFile::ReadAll(size_t limit) const {
    uint64_t length = Length();
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(length, limit)));
    bytes.resize(ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace brix
