#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace brix {

// Appends text as UTF-8 with tab, newline, carriage return and backslash
// written as \t, \n, \r and \\, so that it stays one field of one line.
void AppendEscapedField(std::string& out, std::u16string_view text);

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

// Buffered output of rows as one JSON object {"columns":[names],"rows":[[...]]},
// written as it goes so that a table of any size takes no more memory than a
// window. A NULL value is JSON null; every other value a string.
class CJsonRowsWriter {
  public:
    explicit CJsonRowsWriter(std::FILE* stream) : stream_(stream) { buffer_.reserve(kBlock * 2); }

    void BeginColumns();
    void Column(std::u16string_view name);
    void EndColumns();
    void BeginRow();
    void Value(std::u16string_view text, bool isNull);
    void EndRow();
    // Closes the object and writes what is buffered; false on a write error.
    bool Finish();

  private:
    static constexpr size_t kBlock = 1 << 16;
    void String(std::u16string_view text);
    void Flush();

    std::FILE* stream_;
    std::string buffer_;
    bool firstInList_ = true;
    bool firstRow_ = true;
    bool failed_ = false;
};

}  // namespace brix
