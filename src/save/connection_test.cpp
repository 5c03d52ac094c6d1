#include "save/connection_test.h"

namespace brix {

namespace {

constexpr unsigned kMaxPort = 65535;

bool IsPortNumber(std::u16string_view port) {
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    for (char16_t c : port) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    return value >= 1 && value <= kMaxPort;
}

// Host names, IPv4 and IPv6 addresses (with brackets and a zone) and
// internationalised names: letters of any script, digits and . - _ : [ ] %.
bool IsHostName(std::u16string_view server) {
    for (char16_t c : server) {
        if (c >= 0x80) continue;
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                        (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_' ||
                        c == u':' || c == u'[' || c == u']' || c == u'%';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

std::u16string CheckConnectionSettings(const CConnectionSettings& settings) {
    if (settings.server.empty()) return kEnterServerName;
    if (settings.user.empty()) return kEnterUserName;
    if (!IsPortNumber(settings.port)) return kEnterPortNumber;
    return {};
}

CConnectionTestResult TestConnection(const CConnectionSettings& settings) {
    CConnectionTestResult result;
    result.message = CheckConnectionSettings(settings);
    if (!result.message.empty()) return result;
    if (!IsHostName(settings.server)) {
        result.message = kBadServerName;
        result.message += u'\n';
        return result;
    }
    COdbcConnection connection;
    std::u16string error;
    if (connection.Open(settings, error)) {
        connection.Close();
        result.tested = true;
        result.message = kConnectionSuccessful;
        return result;
    }
    if (error.empty()) {
        result.message = kConnectionFailed;
    } else {
        result.message = error;
        result.message += u'\n';
    }
    return result;
}

}  // namespace brix
