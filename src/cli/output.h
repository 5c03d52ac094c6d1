#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace brix {

class CAppState;
class CDamageSink;
class CExternalValues;
class CRowWindow;
class CTableRows;
class CTableDef;
class CJsonRowsWriter;
class CTsvWriter;

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
    // A field written in pieces: BeginField, then FieldPart for each piece
    // of its text in order. The pieces are escaped as the whole text would
    // be, as long as no piece ends inside a surrogate pair.
    void BeginField();
    void FieldPart(std::u16string_view text);
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
    // A string value written in pieces: BeginString, StringPart for each
    // piece of its text in order (no piece ending inside a surrogate pair),
    // then EndString.
    void BeginString();
    void StringPart(std::u16string_view text);
    void EndString();
    void EndRow();
    // Closes the object and writes what is buffered; false on a write error.
    bool Finish();

  private:
    static constexpr size_t kBlock = 1 << 16;
    void String(std::u16string_view text);
    void StringBody(std::u16string_view text);
    void Flush();

    std::FILE* stream_;
    std::string buffer_;
    bool firstInList_ = true;
    bool firstRow_ = true;
    bool failed_ = false;
};

// Writes the rows of window, a window of table's rows, to tsv or json (the
// one given): each cell's text, a spilled value read back from its file, and
// an off-page value kept by its reference read through values as it is
// written, in pieces, a broken chain reported to damage.
void WriteRowWindow(const CRowWindow& window, const CTableDef& table, const CAppState& app,
                    CExternalValues* values, CDamageSink* damage, CTsvWriter* tsv,
                    CJsonRowsWriter* json);

// Writes the table's current window with write and, with all, every window
// after it, in order: each window is written on a thread of its own while
// the reader fills the next one, so that reading and writing a big table
// share the work between two cores. At most two windows are held: the one
// being written and the one being read. Returns the rows read.
int64_t WriteWindows(CTableRows& rows, CAppState& app, bool all,
                     const std::function<void(const CRowWindow&)>& write);

}  // namespace brix
