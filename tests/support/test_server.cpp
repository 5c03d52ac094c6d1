#include "support/test_server.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "support/test_support.h"

namespace brix::test {

namespace {

int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string ShellWord(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out + "'";
}

int RunCli(const std::string& arguments, const std::filesystem::path& err) {
    const std::string command =
        ShellWord(BRIX_CLI_PATH) + " " + arguments + " >" + ShellWord(err.string()) + " 2>&1";
    return ExitStatus(std::system(command.c_str()));
}

const CTestServer* CTestServer::Get() {
    static const std::optional<CTestServer> server = []() -> std::optional<CTestServer> {
        const char* folder = std::getenv("BRIX_TEST_SERVER");
        CTestServer s;
        s.folder_ = folder && *folder ? folder : BRIX_TEST_SERVER_DIR;
        s.dataDir_ = s.folder_ / "data";
        s.port_ = ReadFileText(s.folder_ / "port");
        while (!s.port_.empty() && (s.port_.back() == '\n' || s.port_.back() == '\r'))
            s.port_.pop_back();
        if (s.port_.empty()) return std::nullopt;
        return s;
    }();
    return server ? &*server : nullptr;
}

std::string CTestServer::Client() const {
    return "mariadb --no-defaults --default-character-set=utf8mb4 --socket=" +
           ShellWord((folder_ / "mysqld.sock").string()) + " -uroot";
}

bool CTestServer::Run(const std::string& sql, std::string* output) const {
    TempDir dir;
    const auto out = dir.path() / "out";
    std::FILE* pipe =
        popen((Client() + " --batch >" + ShellWord(out.string()) + " 2>&1").c_str(), "w");
    if (!pipe) return false;
    std::fwrite(sql.data(), 1, sql.size(), pipe);
    const int status = ExitStatus(pclose(pipe));
    if (output) *output = ReadFileText(out);
    return status == 0;
}

std::optional<std::vector<std::vector<std::string>>> CTestServer::Rows(const std::string& sql,
                                                                       bool withoutHeader) const {
    TempDir dir;
    const auto out = dir.path() / "out";
    std::FILE* pipe =
        popen((Client() + " --batch >" + ShellWord(out.string()) + " 2>/dev/null").c_str(), "w");
    if (!pipe) return std::nullopt;
    std::fwrite(sql.data(), 1, sql.size(), pipe);
    if (ExitStatus(pclose(pipe)) != 0) return std::nullopt;
    auto rows = ReadTsv(out);
    if (withoutHeader && !rows.empty()) rows.erase(rows.begin());
    return rows;
}

bool CTestServer::Load(const std::filesystem::path& script, std::string* output) const {
    TempDir dir;
    const auto out = dir.path() / "out";
    const int status = std::system((Client() + " --comments <" + ShellWord(script.string()) + " >" +
                                    ShellWord(out.string()) + " 2>&1")
                                       .c_str());
    if (output) *output = ReadFileText(out);
    return ExitStatus(status) == 0;
}

bool CTestServer::CreateAccount(const std::string& user, const std::string& password) const {
    const std::string account = SqlString(user) + "@'127.0.0.1'";
    return Run("DROP USER IF EXISTS " + account + ";\nCREATE USER " + account + " IDENTIFIED BY " +
               SqlString(password) + ";\nGRANT ALL ON *.* TO " + account + ";\n");
}

std::string RandomPassword() {
    static const std::string alphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789;}{'\"\\";
    std::random_device random;
    std::string password = "p;}}{";  // always one of each that a connection string could trip on
    for (int i = 0; i < 16; ++i) password.push_back(alphabet[random() % alphabet.size()]);
    return password;
}

std::string SqlString(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'') out.push_back('\\');
        out.push_back(c);
    }
    return out + "'";
}

}  // namespace brix::test
