#include "save/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <vector>

namespace brix {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager takes UTF-16 text");

SQLWCHAR* Wide(std::u16string& text) {
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

// The message of the first diagnostic record of a handle; empty when there
// is none.
std::u16string DiagnosticText(SQLSMALLINT type, SQLHANDLE handle) {
    SQLWCHAR state[6];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLRETURN r = SQLGetDiagRecW(type, handle, 1, state, &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (r == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
        message.resize(static_cast<size_t>(length) + 1);
        r = SQLGetDiagRecW(type, handle, 1, state, &native, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(r) || length <= 0) return {};
    const size_t n = std::min(static_cast<size_t>(length), message.size());
    return std::u16string(reinterpret_cast<const char16_t*>(message.data()), n);
}

// Overwrites text before its memory is given back.
void Wipe(std::u16string& text) {
    volatile char16_t* p = text.data();
    for (size_t i = 0; i < text.size(); ++i) p[i] = 0;
    text.clear();
}

// Frees a statement handle when it goes out of scope.
class CStatement {
  public:
    explicit CStatement(SQLHDBC dbc) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &handle_))) handle_ = nullptr;
    }
    ~CStatement() {
        if (handle_) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
    }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    SQLHSTMT handle() const { return handle_; }

  private:
    SQLHSTMT handle_ = nullptr;
};

}  // namespace

void AppendBracedValue(std::u16string& out, std::u16string_view value) {
    out.push_back(u'{');
    for (char16_t c : value) {
        out.push_back(c);
        if (c == u'}') out.push_back(u'}');
    }
    out.push_back(u'}');
}

std::u16string OdbcStatementText(std::u16string_view sql) {
    std::u16string text(sql);
    if (!text.empty() && (text.back() & 0xFC) == 0xD8) text.push_back(u' ');
    return text;
}

std::u16string ConnectionString(const CConnectionSettings& settings) {
    std::u16string s = u"Driver=";
    AppendBracedValue(s, settings.driver);
    s += u";Server=";
    AppendBracedValue(s, settings.server);
    s += u";Option=";
    s += kOdbcOptionValue;
    s += u";Port=";
    AppendBracedValue(s, settings.port);
    s += u";";
    return s;
}

COdbcConnection::~COdbcConnection() {
    Close();
}

void COdbcConnection::Close() {
    if (dbc_) {
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        dbc_ = nullptr;
    }
    if (env_) {
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        env_ = nullptr;
    }
}

bool COdbcConnection::Open(const CConnectionSettings& settings, std::u16string& error,
                           int loginTimeoutSeconds) {
    Close();
    error.clear();
    SQLHENV env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return false;
    env_ = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        error = DiagnosticText(SQL_HANDLE_ENV, env);
        Close();
        return false;
    }
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    // ODBC takes the account only inside the connection string of a
    // connection without a data source name; it is added here, braced like
    // every value, and the text is wiped as soon as the driver has it.
    std::u16string text = ConnectionString(settings);
    text += u"UID=";
    AppendBracedValue(text, settings.user);
    text += u";PWD=";
    AppendBracedValue(text, settings.password);
    text += u";";
    const SQLRETURN r = SQLDriverConnectW(dbc, nullptr, Wide(text), SQL_NTS, nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT);
    Wipe(text);
    if (!SQL_SUCCEEDED(r)) {
        error = DiagnosticText(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        Close();
        return false;
    }
    dbc_ = dbc;
    return true;
}

bool COdbcConnection::Execute(std::u16string_view sql, std::u16string& error) {
    if (!dbc_) {
        error = u"not connected";
        return false;
    }
    CStatement statement(dbc_);
    if (!statement.handle()) {
        error = DiagnosticText(SQL_HANDLE_DBC, dbc_);
        return false;
    }
    std::u16string text = OdbcStatementText(sql);
    const SQLRETURN r = SQLExecDirectW(statement.handle(), Wide(text), SQL_NTS);
    if (SQL_SUCCEEDED(r) || r == SQL_NO_DATA) return true;
    error = DiagnosticText(SQL_HANDLE_STMT, statement.handle());
    if (error.empty()) error = u"the statement failed";
    return false;
}

std::optional<int64_t> COdbcConnection::QueryInteger(std::u16string_view sql,
                                                     std::u16string& error) {
    if (!dbc_) return std::nullopt;
    CStatement statement(dbc_);
    if (!statement.handle()) return std::nullopt;
    std::u16string text = OdbcStatementText(sql);
    if (!SQL_SUCCEEDED(SQLExecDirectW(statement.handle(), Wide(text), SQL_NTS))) {
        error = DiagnosticText(SQL_HANDLE_STMT, statement.handle());
        return std::nullopt;
    }
    if (!SQL_SUCCEEDED(SQLFetch(statement.handle()))) return std::nullopt;
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(
            SQLGetData(statement.handle(), 1, SQL_C_SBIGINT, &value, sizeof value, &indicator)) ||
        indicator == SQL_NULL_DATA)
        return std::nullopt;
    return static_cast<int64_t>(value);
}

}  // namespace brix
