#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace brix {

// Buffered output of tab-separated text to a stream, written in large blocks.
// Fields are escaped so that a line is one row: tab, newline, carriage return
// and backslash become \t, \n, \r and \\.
class CTsvWriter {
  public:
    explicit CTsvWriter(std::FILE* stream) : stream_(stream) { buffer_.reserve(kBlock * 2); }
    ~CTsvWriter() { Flush(); }

    void Field(std::u16string_view text);
    void EndRow();
    // Writes what is buffered; false when the stream reported an error.
    bool Flush();

  private:
    static constexpr size_t kBlock = 1 << 16;
    std::FILE* stream_;
    std::string buffer_;
    bool rowStarted_ = false;
};

}  // namespace brix
