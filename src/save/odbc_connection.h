#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brix {

// The ODBC driver that the connection string names unless the user chose
// another one.
inline constexpr char16_t kDefaultOdbcDriver[] = u"MySql ODBC 5.1 Driver";
// Connection options of the MySQL ODBC drivers that every connection asks for:
// found rows (2), no driver cursor (128), no locale (256) and BIGINT as it is
// (16384). The ignore-schema option (64) is left out on purpose: the driver
// passes it on as a client flag under which the server drops the database
// from `db`.`table` names, so a foreign key into another database would be
// made as one into the table's own database.
inline constexpr char16_t kOdbcOptionValue[] = u"16770";

// What a connection to a MySQL server needs: the ODBC driver's name, the
// server, its port (as typed) and the account.
struct CConnectionSettings {
    std::u16string driver = kDefaultOdbcDriver;
    std::u16string server;
    std::u16string port;
    std::u16string user;
    std::u16string password;
};

// Appends value to a connection string in braces, every "}" doubled: the
// driver reads it back as one value whatever it holds, so a value cannot end
// early or add a keyword.
void AppendBracedValue(std::u16string& out, std::u16string_view value);

// The text Execute hands the driver for sql, ended by a zero unit (the
// length given as "null-terminated"). The MariaDB driver counts the
// characters of UTF-16 text itself, and takes every unit whose low byte is
// 0xD8 to 0xDB (U+00D8 among them) for the start of a surrogate pair of two
// units: given a length, it reads past the end of text holding such
// characters. Walking to the zero unit it ends where the text does, unless
// the last unit is such a one; a space after it keeps the zero unit in its
// place. Statements hold no zero unit: the save escapes it in values and
// refuses it in names.
std::u16string OdbcStatementText(std::u16string_view sql);

// The connection string "Driver={D};Server={S};Option=16770;Port={P};" with
// the values braced. It never holds the user name or the password, which
// Open passes on by themselves, so it can be shown or logged.
std::u16string ConnectionString(const CConnectionSettings& settings);

// One connection to a server through the ODBC driver manager. Statements are
// sent as UTF-16 text, which the driver hands on in the connection's
// character set. Not copyable; closed by the destructor.
class COdbcConnection {
  public:
    COdbcConnection() = default;
    ~COdbcConnection();
    COdbcConnection(const COdbcConnection&) = delete;
    COdbcConnection& operator=(const COdbcConnection&) = delete;

    // Connects (closing an earlier connection first), waiting at most
    // loginTimeoutSeconds. On failure returns false with the driver's (or the
    // driver manager's) message in error; error stays empty when neither
    // gave one. The password is kept in memory only as long as the call
    // takes and is never written anywhere.
    bool Open(const CConnectionSettings& settings, std::u16string& error,
              int loginTimeoutSeconds = 15);
    bool IsOpen() const { return dbc_ != nullptr; }
    void Close();

    // Runs one statement; on failure returns false with the driver's message.
    bool Execute(std::u16string_view sql, std::u16string& error);
    // The first column of the first row of a query as an integer; nothing when
    // the query fails or gives no number.
    std::optional<int64_t> QueryInteger(std::u16string_view sql, std::u16string& error);

  private:
    void* env_ = nullptr;
    void* dbc_ = nullptr;
};

}  // namespace brix
