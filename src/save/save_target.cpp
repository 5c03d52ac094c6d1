#include "save/save_target.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/file_names.h"
#include "app/output_file.h"
#include "app/text.h"
#include "save/sql_text.h"

namespace brix {

namespace {

// The text of the script is collected up to this many bytes before it is
// written out.
constexpr size_t kFlushBytes = 1 << 20;

std::u16string SystemError(std::u16string_view what, const std::filesystem::path& path) {
    std::u16string message(what);
    message += PathText(path);
    message += u": ";
    message += Utf8ToUtf16(std::strerror(errno));
    return message;
}

}  // namespace

std::u16string CommentName(std::u16string_view name) {
    std::u16string out = u"`";
    for (char16_t c : name) {
        // Line ends of every kind, other control characters and everything
        // past ASCII (which includes U+2028 and U+0085) become "?".
        if (c < 0x20 || c >= 0x7F) {
            out.push_back(u'?');
            continue;
        }
        if (c == u'`') out.push_back(u'`');
        out.push_back(c);
    }
    out.push_back(u'`');
    return out;
}

bool CSaveTarget::ExecuteUtf8(std::string_view statement, std::u16string& error) {
    return Execute(Utf8ToUtf16(statement), error);
}

CScriptTarget::CScriptTarget(std::filesystem::path folder, size_t maxStatementBytes)
    : folder_(std::move(folder)), maxStatementBytes_(maxStatementBytes) {}

CScriptTarget::~CScriptTarget() {
    if (file_) std::fclose(file_);
}

std::filesystem::path CScriptTarget::ScriptPath(const std::filesystem::path& folder,
                                                const CSaveDatabase& database) {
    std::filesystem::path path = folder / database.folderName;
    path += ".sql";
    return path;
}

bool CScriptTarget::BeginDatabase(const CSaveDatabase& database, std::u16string& error) {
    if (file_ && !EndDatabase(error)) return false;
    path_ = ScriptPath(folder_, database);
    // A database met again in the same run goes on in its file instead of
    // replacing what was written.
    const bool again = std::find(written_.begin(), written_.end(), path_) != written_.end();
    file_ = OpenOutputFile(path_, again ? OutputMode::kAppend : OutputMode::kCreate);
    if (!file_) {
        error = errno == ELOOP ? u"cannot create " + PathText(path_) +
                                     u": a symbolic link is in its place, which is not followed"
                               : SystemError(u"cannot create ", path_);
        return false;
    }
    if (again) return Write(u"\n", error);
    written_.push_back(path_);
    // The first line turns on the sandbox mode of mariadb clients that have
    // one (no shell or file commands for the rest of the script); servers and
    // clients that do not know it read a comment. The database's name is
    // written only in a form that cannot end the comment line.
    std::u16string head = kSandboxLine;
    head += u"\n-- Karvo MySQL Database Repair v22.0: database ";
    head += CommentName(database.name);
    head +=
        u"\n-- Load it with: mariadb --comments < FILE (without --comments the client drops\n"
        u"-- the comments inside trigger bodies)\n\n";
    if (!Write(head, error)) return false;
    if (!Execute(kScriptCharacterSet, error)) return false;
    for (std::u16string_view statement : kSessionStatements)
        if (!Execute(statement, error)) return false;
    std::u16string create = u"\nCREATE DATABASE IF NOT EXISTS ";
    AppendQuotedName(create, database.name);
    create += database.options;
    if (!Execute(create, error)) return false;
    // A line that starts with USE is the client's own command, which reads
    // its argument its own way; after a comment it is the server's statement.
    return Execute(u"/* the server's USE */ USE " + QuotedName(database.name), error);
}

bool CScriptTarget::Execute(std::u16string_view statement, std::u16string& error) {
    if (!Write(statement, error)) return false;
    return Write(u";\n", error);
}

bool CScriptTarget::ExecuteUtf8(std::string_view statement, std::u16string& error) {
    if (!file_) {
        error = u"no script file is open";
        return false;
    }
    buffer_.append(statement);
    buffer_.append(";\n");
    return FlushFull(error);
}

bool CScriptTarget::WriteText(std::u16string_view text, std::u16string& error) {
    return Write(text, error);
}

bool CScriptTarget::Write(std::u16string_view text, std::u16string& error) {
    if (!file_) {
        error = u"no script file is open";
        return false;
    }
    AppendUtf16AsUtf8(buffer_, text);
    return FlushFull(error);
}

bool CScriptTarget::FlushFull(std::u16string& error) {
    if (buffer_.size() < kFlushBytes) return true;
    const bool written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    if (!written) error = SystemError(u"cannot write ", path_);
    return written;
}

bool CScriptTarget::EndDatabase(std::u16string& error) {
    if (!file_) return true;
    bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    if (!ok) error = SystemError(u"cannot write ", path_);
    return ok;
}

}  // namespace brix
