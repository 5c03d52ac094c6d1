#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace brix::test {

// The private MariaDB server that tools/test-server started for the
// server-backed tests, in the build's test-server folder (the environment
// variable BRIX_TEST_SERVER may name another). root reaches it through the
// socket without a password.
class CTestServer {
  public:
    // The server, or nothing when none runs there.
    static const CTestServer* Get();

    const std::filesystem::path& folder() const { return folder_; }
    const std::filesystem::path& dataDir() const { return dataDir_; }
    const std::string& port() const { return port_; }

    // Runs SQL as root, given to the client on its standard input; output and
    // errors go to output when given. True when the client succeeded.
    bool Run(const std::string& sql, std::string* output = nullptr) const;
    // The rows of a query as the client prints them in batch mode, escapes
    // undone, without the header line unless withoutHeader is false; nothing
    // when the query failed.
    std::optional<std::vector<std::vector<std::string>>> Rows(const std::string& sql,
                                                              bool withoutHeader = true) const;
    // Loads a script file as root, as a user would with the mariadb client
    // (with --comments, which keeps comments inside trigger bodies).
    bool Load(const std::filesystem::path& script, std::string* output = nullptr) const;
    // Creates user@127.0.0.1 (dropped first) with the password and every
    // privilege. The statement goes through a pipe, never through a file or
    // a command line.
    bool CreateAccount(const std::string& user, const std::string& password) const;

  private:
    std::string Client() const;

    std::filesystem::path folder_;
    std::filesystem::path dataDir_;
    std::string port_;
};

// A random password of letters, digits and the characters ; } { ' " \.
std::string RandomPassword();

// Quotes text as an SQL string literal.
std::string SqlString(const std::string& text);

// text as one word of a shell command: in single quotes, each quote in it
// written as '\''.
std::string ShellWord(const std::string& text);

// Runs the console program with arguments (already shell words); its output
// and messages go to the file err. Returns its exit status, -1 when it did
// not exit.
int RunCli(const std::string& arguments, const std::filesystem::path& err);

}  // namespace brix::test
