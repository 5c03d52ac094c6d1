#include "app/output_file.h"

#include <cerrno>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brix {

std::FILE* OpenOutputFile(const std::filesystem::path& path, OutputMode mode) {
#ifdef _WIN32
    return _wfopen(path.c_str(), mode == OutputMode::kCreate ? L"wb" : L"ab");
#else
    int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
    struct stat info {};
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        errno = S_ISLNK(info.st_mode) ? ELOOP : EEXIST;
        return nullptr;
    }
    if (mode == OutputMode::kCreate) {
        // A file left by an earlier run is replaced by a new one; O_EXCL
        // then refuses anything that appeared in its place meanwhile.
        if (exists && ::unlink(path.c_str()) != 0) return nullptr;
        flags |= O_CREAT | O_EXCL;
    } else {
        flags |= O_APPEND;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, mode == OutputMode::kCreate ? "wb" : "ab");
    if (!file) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return file;
#endif
}

}  // namespace brix
