// The trigger and view files, on any bytes, as the text they put into a
// script: a .TRG file (the bytes before the first "\x01\x01", or all of them)
// and a view's .frm (the bytes after it). The script text is then read the
// way the mariadb client reads it, independently of the code that wrote it,
// and the target stops the run when a line could start a client command
// outside a string, when a backslash stands outside a string, or when a
// statement is anything but the expected SET SQL_MODE, CREATE TRIGGER or
// CREATE VIEW.

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/text.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"
#include "fuzz_support.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& script) {
    std::fprintf(stderr, "unsafe script (%s):\n%s\n", what, script.c_str());
    std::abort();
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The client's own commands, which a line outside a string must not start
// with (DELIMITER lines are checked on their own).
bool IsCommandWord(std::string_view word) {
    static constexpr std::string_view kCommands[] = {
        "?",      "charset", "clear",  "connect",   "edit",   "ego",   "exit",   "go",
        "help",   "nopager", "notee",  "nowarning", "pager",  "print", "prompt", "quit",
        "rehash", "sandbox", "source", "status",    "system", "tee",   "use",    "warnings"};
    std::string lower(word);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (std::string_view command : kCommands)
        if (lower == command) return true;
    return false;
}

// Reads a script as the client does and checks every statement it would
// send.
void CheckScript(const std::string& script, bool view) {
    std::string delimiter = ";";
    bool noBackslashEscapes = false;
    char quote = 0;
    bool blockComment = false;
    std::string statement;
    size_t statements = 0;
    auto finish = [&]() {
        size_t at = statement.find_first_not_of(" \n\t");
        const std::string_view text =
            at == std::string::npos ? std::string_view() : std::string_view(statement).substr(at);
        if (text.empty()) return;
        ++statements;
        if (view) {
            if (!text.starts_with("CREATE ALGORITHM=")) Fail("not a CREATE VIEW", script);
        } else if (text.starts_with("SET SQL_MODE='")) {
            noBackslashEscapes = text.find("NO_BACKSLASH_ESCAPES") != std::string::npos;
        } else if (!text.starts_with("CREATE TRIGGER `")) {
            Fail("not a trigger statement", script);
        }
        statement.clear();
    };
    size_t lineStart = 0;
    while (lineStart < script.size()) {
        size_t lineEnd = script.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = script.size();
        const std::string_view line(script.data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (!quote && !blockComment) {
            const size_t first = line.find_first_not_of(" \t");
            const std::string_view rest =
                first == std::string_view::npos ? std::string_view() : line.substr(first);
            if (StartsWithNoCase(rest, "DELIMITER ")) {
                if (statement.find_first_not_of(" \n\t") != std::string::npos)
                    Fail("DELIMITER inside a statement", script);
                delimiter = std::string(rest.substr(10));
                if (delimiter != ";" && !delimiter.starts_with("$$")) Fail("odd delimiter", script);
                continue;
            }
            const size_t end = rest.find_first_of(" \t;");
            if (IsCommandWord(rest.substr(0, end))) Fail("client command at a line start", script);
        }
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (blockComment) {
                if (c == '*' && i + 1 < line.size() && line[i + 1] == '/') {
                    blockComment = false;
                    ++i;
                }
                continue;
            }
            if (quote) {
                statement.push_back(c);
                if (c == '\\' && quote != '`' && !noBackslashEscapes) {
                    if (i + 1 < line.size()) statement.push_back(line[++i]);
                } else if (c == quote) {
                    if (i + 1 < line.size() && line[i + 1] == quote) {
                        statement.push_back(line[++i]);
                    } else {
                        quote = 0;
                    }
                }
                continue;
            }
            if (c == '\\') Fail("backslash outside a string", script);
            if (line.substr(i).starts_with(delimiter)) {
                finish();
                i += delimiter.size() - 1;
                continue;
            }
            if (c == '\'' || c == '"' || c == '`') quote = c;
            if (c == '#' || (c == '-' && line.substr(i).starts_with("--") &&
                             (i + 2 == line.size() || line[i + 2] == ' ' || line[i + 2] == '\t')))
                break;
            if (c == '/' && line.substr(i).starts_with("/*") &&
                !line.substr(i).starts_with("/*!") && !line.substr(i).starts_with("/*M!")) {
                blockComment = true;
                ++i;
                continue;
            }
            statement.push_back(c);
        }
        statement.push_back('\n');
    }
    if (quote || blockComment) Fail("script ends inside a string or comment", script);
    if (statement.find_first_not_of(" \n\t") != std::string::npos)
        Fail("statement without its delimiter", script);
    if (view && statements > 1) Fail("more than one view statement", script);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brix;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = std::min(input.find("\x01\x01"), input.size());
    const std::filesystem::path folder = fuzz::ScratchDir() / "shop";
    std::filesystem::create_directories(folder);
    const std::filesystem::path trg = folder / "orders.TRG";
    const std::filesystem::path frm = folder / "v.frm";
    fuzz::WriteBytes(trg, data, split);
    const size_t viewAt = std::min(split + 2, size);
    fuzz::WriteBytes(frm, data + viewAt, size - viewAt);

    CAppState& app = fuzz::App();
    std::string script;
    for (const CTriggerDefinition& trigger : ReadTriggerFile(trg, app).triggers)
        AppendUtf16AsUtf8(script, TriggerScript(trigger, u"NO_AUTO_VALUE_ON_ZERO"));
    CheckScript(script, false);

    std::string viewScript;
    AppendUtf16AsUtf8(viewScript, ViewText(frm, app));
    CheckScript(viewScript, true);
    return 0;
}
