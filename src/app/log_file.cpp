#include "app/log_file.h"

#include <string>

#include "app/text.h"

namespace brix {

namespace {

constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};
constexpr int kHeaderStars = 80;

}  // namespace

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

std::u16string LogFileName(const std::tm& now) {
    const std::string stamp = std::to_string(now.tm_mday) + "-" + std::to_string(now.tm_mon + 1) +
                              "-" + std::to_string(now.tm_year + 1900) + "-" +
                              std::to_string(now.tm_hour) + "-" + std::to_string(now.tm_min) + "-" +
                              std::to_string(now.tm_sec);
    std::u16string name = kLogFilePrefix;
    AppendAscii(name, stamp);
    name += u".txt";
    return name;
}

CLogFile::~CLogFile() {
    Close();
}

void CLogFile::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    unwritable_ = false;
}

bool CLogFile::Start(const std::filesystem::path& path) {
    Close();
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    // Append mode: a file of the same name (a second scan within the same
    // second) keeps what it holds and gets no second byte-order mark.
#ifdef _WIN32
    file_ = _wfopen(path.c_str(), L"ab");
#else
    file_ = std::fopen(path.c_str(), "ab");
#endif
    if (!file_) {
        unwritable_ = true;
        return false;
    }
    if (!exists &&
        std::fwrite(kByteOrderMark, 1, sizeof kByteOrderMark, file_) != sizeof kByteOrderMark) {
        std::fclose(file_);
        file_ = nullptr;
        unwritable_ = true;
        return false;
    }
    std::u16string header = u"\r\n";
    header.append(kHeaderStars, u'*');
    header += u"\r\n";
    return Write(header);
}

bool CLogFile::Write(std::u16string_view text) {
    if (!file_) return false;
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
        std::fflush(file_) != 0) {
        std::fclose(file_);
        file_ = nullptr;
        unwritable_ = true;
        return false;
    }
    return true;
}

bool CLogFile::WriteLine(std::u16string_view text) {
    std::u16string line(text);
    line += u"\r\n";
    return Write(line);
}

}  // namespace brix
