#include "cli/output.h"

#include <array>

#include "app/text.h"
#include "browse/table_rows.h"
#include "browse/window_pipeline.h"

namespace brix {

namespace {

// For each ASCII character, the letter that follows the backslash of its
// escape, or 0 for a character written as it is.
constexpr std::array<char, 128> kEscapes = [] {
    std::array<char, 128> escapes{};
    escapes['\t'] = 't';
    escapes['\n'] = 'n';
    escapes['\r'] = 'r';
    escapes['\\'] = '\\';
    return escapes;
}();

// Writes text as an escaped field at p, which has room for
// EscapedFieldRoom(text); returns the end of what was written.
char* WriteEscapedField(char* p, std::u16string_view text) {
    const char16_t* in = text.data();
    const char16_t* end = in + text.size();
    while (in != end) {
        const char16_t c = *in;
        if (c >= 0x80) {
            // in stays a local of its own, so that the compiler need not
            // reload it after every byte written through p.
            const char16_t* at = in;
            p = WriteUtf16AsUtf8(p, at, end);
            in = at;
            continue;
        }
        ++in;
        const char escape = kEscapes[c];
        if (escape == 0) {
            *p++ = static_cast<char>(c);
        } else {
            *p++ = '\\';
            *p++ = escape;
        }
    }
    return p;
}

// An escape takes two bytes for one unit; UTF-8 at most three.
size_t EscapedFieldRoom(std::u16string_view text) {
    return kMaxUtf8PerUnit * text.size();
}

}  // namespace

void AppendEscapedField(std::string& out, std::u16string_view text) {
    const size_t start = out.size();
    out.resize(start + EscapedFieldRoom(text));
    char* end = WriteEscapedField(out.data() + start, text);
    out.resize(static_cast<size_t>(end - out.data()));
}

CTsvWriter::CTsvWriter(std::FILE* stream) : stream_(stream), buffer_(kBlock * 2, '\0') {}

char* CTsvWriter::Room(size_t bytes) {
    if (bytes > buffer_.size() - used_) {
        WriteBuffer();
        if (bytes > buffer_.size()) buffer_.resize(bytes);
    }
    return buffer_.data() + used_;
}

void CTsvWriter::Field(std::u16string_view text) {
    // The buffer is written through a pointer, with room made before each
    // field, so that a field costs no resizing of a string.
    char* p = Room(1 + EscapedFieldRoom(text));
    if (rowStarted_) *p++ = '\t';
    rowStarted_ = true;
    used_ = static_cast<size_t>(WriteEscapedField(p, text) - buffer_.data());
}

void CTsvWriter::BeginField() {
    if (rowStarted_) {
        *Room(1) = '\t';
        ++used_;
    }
    rowStarted_ = true;
}

void CTsvWriter::FieldPart(std::u16string_view text) {
    char* p = Room(EscapedFieldRoom(text));
    used_ = static_cast<size_t>(WriteEscapedField(p, text) - buffer_.data());
    // A long value goes out as it comes, not gathered whole.
    if (used_ >= kBlock) WriteBuffer();
}

void CTsvWriter::EndRow() {
    *Room(1) = '\n';
    ++used_;
    rowStarted_ = false;
    if (used_ >= kBlock) WriteBuffer();
}

void CTsvWriter::WriteBuffer() {
    if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, stream_) != used_) failed_ = true;
    used_ = 0;
}

bool CTsvWriter::Flush() {
    WriteBuffer();
    const bool ok = !failed_;
    failed_ = false;
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

void CJsonRowsWriter::BeginString() {
    if (!firstInList_) buffer_.push_back(',');
    firstInList_ = false;
    buffer_.push_back('"');
}

void CJsonRowsWriter::StringPart(std::u16string_view text) {
    StringBody(text);
    if (buffer_.size() >= kBlock) Flush();
}

void CJsonRowsWriter::EndString() {
    buffer_.push_back('"');
}

void CJsonRowsWriter::String(std::u16string_view text) {
    buffer_.push_back('"');
    StringBody(text);
    buffer_.push_back('"');
}

void CJsonRowsWriter::StringBody(std::u16string_view text) {
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
}

void CJsonRowsWriter::Flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
}

void WriteRowWindow(const CRowWindow& window, const CTableDef& table, const CAppState& app,
                    CExternalValues* values, CDamageSink* damage, CTsvWriter* tsv,
                    CJsonRowsWriter* json) {
    std::u16string spilled;
    const auto part = [&](std::u16string_view text) {
        if (json) {
            json->StringPart(text);
        } else {
            tsv->FieldPart(text);
        }
    };
    for (size_t r = 0; r < window.rowCount(); ++r) {
        if (json) json->BeginRow();
        for (size_t c = 0; c < window.columnCount(); ++c) {
            if (window.IsExternal(r, c) && values) {
                // Straight from the tablespace into the output.
                if (json) {
                    json->BeginString();
                } else {
                    tsv->BeginField();
                }
                values->Render(table, window, r, c, app, damage, part);
                if (json) json->EndString();
                continue;
            }
            std::u16string_view text = window.Text(r, c);
            if (window.IsSpilled(r, c)) {
                // The output holds the value itself, not where it was spilled.
                spilled.clear();
                RenderSpilledValue(table, c, std::filesystem::path(text), app, spilled);
                text = spilled;
            }
            if (json) {
                json->Value(text, window.IsNull(r, c));
            } else {
                tsv->Field(text);
            }
        }
        if (json) {
            json->EndRow();
        } else {
            tsv->EndRow();
        }
    }
}

int64_t WriteWindows(CTableRows& rows, CAppState& app, bool all,
                     const std::function<void(const CRowWindow&)>& write) {
    if (!all) {
        write(rows.rows());
        return static_cast<int64_t>(rows.rows().rowCount());
    }
    return ReadWindowsAlongside(
        rows, app,
        [&write](const CRowWindow& window) {
            write(window);
            return true;
        },
        [] { return true; });
}

}  // namespace brix
