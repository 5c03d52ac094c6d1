#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace brix {

// A database whose objects are saved.
struct CSaveDatabase {
    std::u16string name;               // its real name
    std::filesystem::path folderName;  // the name of its folder in the data directory
    std::u16string options;            // for CREATE DATABASE; may be empty
};

// Where the statements of a save go: a script file per database, or a live
// server. The save run hands every statement over without its terminating
// semicolon; a failure comes back as false with a message in error.
class CSaveTarget {
  public:
    virtual ~CSaveTarget() = default;

    // Starts the objects of a database: creates it when it does not exist,
    // with its options (such as " CHARACTER SET x COLLATE y") when not empty,
    // and makes it the current one.
    virtual bool BeginDatabase(const CSaveDatabase& database, std::u16string& error) = 0;
    // Runs or writes one statement.
    virtual bool Execute(std::u16string_view statement, std::u16string& error) = 0;
    // The same for a statement given as UTF-8 (the INSERT statements, which
    // are built that way); by default converted and handed to Execute.
    virtual bool ExecuteUtf8(std::string_view statement, std::u16string& error);
    // True for a server, where the INSERT statements of a window of rows
    // (or of a few) run in one transaction instead of committing each;
    // a script holds no transactions.
    virtual bool UsesTransactions() const { return false; }
    // START TRANSACTION, COMMIT and ROLLBACK where UsesTransactions.
    virtual bool BeginTransaction(std::u16string&) { return true; }
    virtual bool Commit(std::u16string&) { return true; }
    virtual bool Rollback(std::u16string&) { return true; }
    // Ends the current database: a script file is completed and closed.
    virtual bool EndDatabase(std::u16string& error) = 0;
    // The most bytes (UTF-8) one INSERT statement may take; a single row that
    // takes more still goes alone.
    virtual size_t MaxStatementBytes() const = 0;
    // True for a script: triggers go in as text with DELIMITER lines instead
    // of being run one by one.
    virtual bool IsScript() const = 0;
    // A script only: appends text as it is (the trigger blocks).
    virtual bool WriteText(std::u16string_view text, std::u16string& error) = 0;
};

// Statements that every script and server session starts with: TIMESTAMP
// values in UTC, backslash escapes on and zero values kept as written (no
// strict mode, NO_AUTO_VALUE_ON_ZERO so that a 0 in an AUTO_INCREMENT column
// stays 0), and no key checks between tables that may arrive in any order.
// A script first says that it is UTF-8 text; the ODBC driver takes UTF-16
// statements and sets the connection's character set itself (it refuses
// SET NAMES).
inline constexpr std::u16string_view kScriptCharacterSet = u"SET NAMES utf8mb4";
inline constexpr char16_t kSessionSqlMode[] = u"NO_AUTO_VALUE_ON_ZERO";
inline constexpr std::u16string_view kSessionStatements[] = {
    u"SET TIME_ZONE='+00:00'",
    u"SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO'",
    u"SET FOREIGN_KEY_CHECKS=0",
    u"SET UNIQUE_CHECKS=0",
};

// The first line of every script: an executable comment that mariadb
// clients with a sandbox mode read as the command that turns it on (\-), and
// that servers of every version skip, since no server is version 99.99.99.
inline constexpr char16_t kSandboxLine[] =
    u"/*M!999999\\- sandbox mode on: no shell or file commands below */";

// A name for a comment line of a script: in backquotes (doubled inside), with
// every character that is not printable ASCII written as "?", so that no
// name can end the comment and start a line of its own.
std::u16string CommentName(std::u16string_view name);

// Writes each database into its own file FOLDER/DB.sql (DB the name of the
// database's folder, which the server made a valid file name), in UTF-8: the
// sandbox line, a header comment, the
// session statements, CREATE DATABASE IF NOT EXISTS, USE, then every statement followed by ";" and
// a line feed. A file that exists is replaced by a new file, once per run: a
// database begun again in the same run goes on at the end of its file. A
// symbolic link in a script's place is refused, never followed.
class CScriptTarget : public CSaveTarget {
  public:
    // Rows go in INSERT statements of at most maxStatementBytes.
    CScriptTarget(std::filesystem::path folder, size_t maxStatementBytes);
    ~CScriptTarget() override;
    CScriptTarget(const CScriptTarget&) = delete;
    CScriptTarget& operator=(const CScriptTarget&) = delete;

    bool BeginDatabase(const CSaveDatabase& database, std::u16string& error) override;
    bool Execute(std::u16string_view statement, std::u16string& error) override;
    bool ExecuteUtf8(std::string_view statement, std::u16string& error) override;
    bool EndDatabase(std::u16string& error) override;
    size_t MaxStatementBytes() const override { return maxStatementBytes_; }
    bool IsScript() const override { return true; }
    bool WriteText(std::u16string_view text, std::u16string& error) override;

    // The file that holds a database's statements.
    static std::filesystem::path ScriptPath(const std::filesystem::path& folder,
                                            const CSaveDatabase& database);

  private:
    bool Write(std::u16string_view text, std::u16string& error);
    // Writes the buffer out once it holds a block's worth.
    bool FlushFull(std::u16string& error);

    std::filesystem::path folder_;
    size_t maxStatementBytes_;
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::string buffer_;
    std::vector<std::filesystem::path> written_;
};

}  // namespace brix
