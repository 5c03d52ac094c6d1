#pragma once

#include <functional>
#include <string>

#include "save/odbc_connection.h"

namespace brix {

// Texts of the connection test and the Save Database dialog.
inline constexpr char16_t kEnterServerName[] = u"Please enter Server name.";
inline constexpr char16_t kEnterUserName[] = u"Please enter user name.";
inline constexpr char16_t kEnterPortNumber[] = u"Please enter port number.";
inline constexpr char16_t kConnectionSuccessful[] = u"Connection is successful";
inline constexpr char16_t kConnectionFailed[] = u"Connection is Failed";
inline constexpr char16_t kBadServerName[] =
    u"The server name may hold only letters, digits and the characters . - _ : [ ] %.";

// What a connection test says: whether the connection tested good, and the
// message to show (a refusal, the success text, or the failure).
struct CConnectionTestResult {
    bool tested = false;
    std::u16string message;
};

// Opens a connection with the settings and closes it again. Returns a check's
// message when the server, user or port is empty (checked in that order) or
// the port is not a number from 1 to 65535; the failure message when the
// server name holds a character that no host name or address holds (the
// client library would read ";" or "=" in it as options of its own); then
// "Connection is successful", or on failure the driver's message followed by a
// line feed, or "Connection is Failed" when the driver gave none. The
// password may be empty.
CConnectionTestResult TestConnection(const CConnectionSettings& settings);

// The checks alone: the message of the first one that fails, or empty.
std::u16string CheckConnectionSettings(const CConnectionSettings& settings);

}  // namespace brix
