#include "cli/arguments.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <span>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/text.h"
#include "cli/commands.h"

namespace brix {

namespace {

bool IsUtf8(std::string_view text) {
    return IsValidUtf8(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// A path as messages show it: a very long one is cut in its middle.
std::string Shown(const std::string& path) {
    constexpr size_t kKeep = 120;
    if (path.size() <= 2 * kKeep) return path;
    return path.substr(0, kKeep) + "..." + path.substr(path.size() - kKeep);
}

// Closes a descriptor when it goes out of scope.
struct CDescriptor {
    int fd = -1;
    ~CDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

void CheckPathText(const std::string& path, std::string_view what) {
    if (!IsUtf8(path))
        throw CommandFailed(std::string(what) + " is not valid UTF-8; the program reads only " +
                            "paths in UTF-8");
}

void CheckDataDirectory(const std::string& dataDir) {
    if (dataDir.empty()) throw CommandFailed("the data directory is empty");
    CheckPathText(dataDir, "the data directory");
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(dataDir, error);
    if (error || !std::filesystem::exists(status)) {
        const std::string reason =
            error ? error.message() : std::string("No such file or directory");
        throw CommandFailed("no data directory " + Shown(dataDir) + ": " + reason);
    }
    if (!std::filesystem::is_directory(status))
        throw CommandFailed("the data directory " + Shown(dataDir) + " is not a folder");
    std::filesystem::directory_iterator listing(dataDir, error);
    if (error)
        throw CommandFailed("cannot read the data directory " + Shown(dataDir) + ": " +
                            error.message());
}

void CheckObjectName(const std::string& name, std::string_view what) {
    const std::string quoted = std::string(what) + " name '" + name + "'";
    if (name.empty()) throw CommandFailed("the " + std::string(what) + " name is empty");
    if (!IsUtf8(name)) throw CommandFailed("the " + std::string(what) + " name is not UTF-8");
    if (name.find_first_of("/\\") != std::string::npos)
        throw CommandFailed("the " + quoted + " holds a path separator");
    if (name == "." || name == "..")
        throw CommandFailed("the " + quoted + " names a folder, not a " + std::string(what));
}

std::string ReadPasswordFile(const std::string& path) {
    CDescriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0)
        throw CommandFailed("cannot read the password file " + Shown(path) + ": " +
                            std::strerror(errno));
    struct stat info {};
    if (::fstat(file.fd, &info) == 0 && S_ISDIR(info.st_mode))
        throw CommandFailed("the password file " + Shown(path) + " is a folder");
    // Up to the first line end, reading no more than the bound.
    std::string text;
    char buffer[512];
    bool lineEnded = false;
    while (!lineEnded && text.size() < kMaxPasswordFile) {
        const size_t want = std::min(sizeof buffer, kMaxPasswordFile - text.size());
        const ssize_t got = ::read(file.fd, buffer, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            throw CommandFailed("cannot read the password file " + Shown(path) + ": " +
                                std::strerror(errno));
        if (got == 0) break;
        const std::string_view piece(buffer, static_cast<size_t>(got));
        const size_t end = piece.find_first_of("\r\n");
        lineEnded = end != std::string_view::npos;
        text.append(piece.substr(0, end));
    }
    if (!lineEnded && text.size() >= kMaxPasswordFile)
        throw CommandFailed("the password file " + Shown(path) + " has no line end in its first " +
                            std::to_string(kMaxPasswordFile) + " bytes");
    if (text.find('\0') != std::string::npos)
        throw CommandFailed("the password file " + Shown(path) + " holds a zero byte");
    return text;
}

}  // namespace brix
