#include "support/json_rows.h"

#include <stdexcept>

#include "app/text.h"

namespace brix::test {

namespace {

class Parser {
  public:
    explicit Parser(const std::string& text) : s_(text) {}

    JsonRows Parse() {
        JsonRows out;
        Expect('{');
        Key("columns");
        Expect('[');
        if (!Peek(']')) {
            do out.columns.push_back(String());
            while (Accept(','));
        }
        Expect(']');
        Expect(',');
        Key("rows");
        Expect('[');
        if (!Peek(']')) {
            do {
                Expect('[');
                std::vector<std::optional<std::string>> row;
                if (!Peek(']')) {
                    do row.push_back(Value());
                    while (Accept(','));
                }
                Expect(']');
                out.rows.push_back(std::move(row));
            } while (Accept(','));
        }
        Expect(']');
        Expect('}');
        Space();
        if (i_ != s_.size()) Fail("text after the object");
        return out;
    }

  private:
    [[noreturn]] void Fail(const std::string& why) {
        throw std::runtime_error("JSON: " + why + " at " + std::to_string(i_));
    }
    void Space() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
            ++i_;
    }
    bool Peek(char c) {
        Space();
        return i_ < s_.size() && s_[i_] == c;
    }
    bool Accept(char c) {
        if (!Peek(c)) return false;
        ++i_;
        return true;
    }
    void Expect(char c) {
        if (!Accept(c)) Fail(std::string("expected ") + c);
    }
    void Key(const std::string& name) {
        if (String() != name) Fail("expected key " + name);
        Expect(':');
    }
    std::optional<std::string> Value() {
        Space();
        if (s_.compare(i_, 4, "null") == 0) {
            i_ += 4;
            return std::nullopt;
        }
        return String();
    }
    std::string String() {
        Expect('"');
        std::u16string units;
        while (true) {
            if (i_ >= s_.size()) Fail("unterminated string");
            const char c = s_[i_++];
            if (c == '"') break;
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in string");
            if (c != '\\') {
                size_t start = i_ - 1;
                while (i_ < s_.size() && s_[i_] != '"' && s_[i_] != '\\' &&
                       static_cast<unsigned char>(s_[i_]) >= 0x20)
                    ++i_;
                units += Utf8ToUtf16(std::string_view(s_).substr(start, i_ - start));
                continue;
            }
            if (i_ >= s_.size()) Fail("bad escape");
            const char e = s_[i_++];
            switch (e) {
                case '"':
                    units += u'"';
                    break;
                case '\\':
                    units += u'\\';
                    break;
                case '/':
                    units += u'/';
                    break;
                case 'n':
                    units += u'\n';
                    break;
                case 'r':
                    units += u'\r';
                    break;
                case 't':
                    units += u'\t';
                    break;
                case 'b':
                    units += u'\b';
                    break;
                case 'f':
                    units += u'\f';
                    break;
                case 'u': {
                    if (i_ + 4 > s_.size()) Fail("bad \\u escape");
                    units += static_cast<char16_t>(std::stoi(s_.substr(i_, 4), nullptr, 16));
                    i_ += 4;
                    break;
                }
                default:
                    Fail("bad escape");
            }
        }
        return Utf16ToUtf8(units);
    }

    const std::string& s_;
    size_t i_ = 0;
};

}  // namespace

JsonRows ParseJsonRows(const std::string& text) {
    return Parser(text).Parse();
}

}  // namespace brix::test
