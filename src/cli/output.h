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
    explicit CTsvWriter(std::FILE* stream);
    ~CTsvWriter() { Flush(); }

    void Field(std::u16string_view text);
    void EndRow();
    // Writes what is buffered; false when the stream reported an error since
    // the last Flush.
    bool Flush();

  private:
    static constexpr size_t kBlock = 1 << 16;
    // Where the next bytes go, with room for at least bytes of them.
    char* Room(size_t bytes);
    void WriteBuffer();

    std::FILE* stream_;
    // The first used_ bytes are waiting to be written.
    std::string buffer_;
    size_t used_ = 0;
    bool rowStarted_ = false;
    bool failed_ = false;
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
