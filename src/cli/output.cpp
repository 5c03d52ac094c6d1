#include "cli/output.h"

#include "app/text.h"

namespace brix {

void CTsvWriter::Field(std::u16string_view text) {
    if (rowStarted_) buffer_.push_back('\t');
    rowStarted_ = true;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char escape = 0;
        switch (text[i]) {
            case u'\t':
                escape = 't';
                break;
            case u'\n':
                escape = 'n';
                break;
            case u'\r':
                escape = 'r';
                break;
            case u'\\':
                escape = '\\';
                break;
            default:
                continue;
        }
        AppendUtf16AsUtf8(buffer_, text.substr(start, i - start));
        buffer_.push_back('\\');
        buffer_.push_back(escape);
        start = i + 1;
    }
    AppendUtf16AsUtf8(buffer_, text.substr(start));
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

}  // namespace brix
