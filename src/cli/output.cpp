#include "cli/output.h"

#include "app/text.h"

namespace brix {

void AppendEscapedField(std::string& out, std::u16string_view text) {
    // Runs of plain text go out in one conversion; tab, newline, carriage
    // return and backslash are escaped between them.
    const char16_t* run = text.data();
    const char16_t* end = run + text.size();
    for (const char16_t* p = run; p != end; ++p) {
        const char16_t c = *p;
        if (c > u'\\' || (c != u'\t' && c != u'\n' && c != u'\r' && c != u'\\')) continue;
        AppendUtf16AsUtf8(out, std::u16string_view(run, static_cast<size_t>(p - run)));
        out.push_back('\\');
        out.push_back(c == u'\t' ? 't' : c == u'\n' ? 'n' : c == u'\r' ? 'r' : '\\');
        run = p + 1;
    }
    AppendUtf16AsUtf8(out, std::u16string_view(run, static_cast<size_t>(end - run)));
}

void CTsvWriter::Field(std::u16string_view text) {
    if (rowStarted_) buffer_.push_back('\t');
    rowStarted_ = true;
    AppendEscapedField(buffer_, text);
}

void CTsvWriter::EndRow() {
    buffer_.push_back('\n');
    rowStarted_ = false;
    if (buffer_.size() >= kBlock) Flush();
}

bool CTsvWriter::Flush() {
    bool ok = true;
    if (!buffer_.empty()) {
        ok = std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) == buffer_.size();
        buffer_.clear();
    }
    return std::fflush(stream_) == 0 && ok;
}

void CJsonRowsWriter::BeginColumns() {
    buffer_ += "{\"columns\":[";
    firstInList_ = true;
}

void CJsonRowsWriter::Column(std::u16string_view name) {
    if (!firstInList_) buffer_.push_back(',');
    firstInList_ = false;
    String(name);
}

void CJsonRowsWriter::EndColumns() {
    buffer_ += "],\"rows\":[";
}

void CJsonRowsWriter::BeginRow() {
    buffer_ += firstRow_ ? "\n[" : ",\n[";
    firstRow_ = false;
    firstInList_ = true;
}

void CJsonRowsWriter::Value(std::u16string_view text, bool isNull) {
    if (!firstInList_) buffer_.push_back(',');
    firstInList_ = false;
    if (isNull) {
        buffer_ += "null";
    } else {
        String(text);
    }
}

void CJsonRowsWriter::EndRow() {
    buffer_.push_back(']');
    if (buffer_.size() >= kBlock) Flush();
}

bool CJsonRowsWriter::Finish() {
    buffer_ += firstRow_ ? "]}\n" : "\n]}\n";
    Flush();
    return std::fflush(stream_) == 0 && !failed_;
}

void CJsonRowsWriter::String(std::u16string_view text) {
    buffer_.push_back('"');
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x20 && c != u'"' && c != u'\\') continue;
        AppendUtf16AsUtf8(buffer_, text.substr(start, i - start));
        switch (c) {
            case u'"':
                buffer_ += "\\\"";
                break;
            case u'\\':
                buffer_ += "\\\\";
                break;
            case u'\n':
                buffer_ += "\\n";
                break;
            case u'\r':
                buffer_ += "\\r";
                break;
            case u'\t':
                buffer_ += "\\t";
                break;
            default: {
                static constexpr char kHex[] = "0123456789abcdef";
                buffer_ += "\\u00";
                buffer_.push_back(kHex[c >> 4]);
                buffer_.push_back(kHex[c & 15]);
            }
        }
        start = i + 1;
    }
    AppendUtf16AsUtf8(buffer_, text.substr(start));
    buffer_.push_back('"');
}

void CJsonRowsWriter::Flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
}

}  // namespace brix
