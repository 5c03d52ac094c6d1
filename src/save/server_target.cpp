#include "save/server_target.h"

#include <algorithm>

#include "app/text.h"
#include "save/sql_text.h"

namespace brix {

bool CServerTarget::Start(std::u16string& error) {
    for (std::u16string_view statement : kSessionStatements)
        if (!connection_.Execute(statement, error)) return false;
    std::u16string ignored;
    const std::optional<int64_t> packet =
        connection_.QueryInteger(u"SELECT @@max_allowed_packet", ignored);
    size_t limit = kDefaultPacket;
    if (packet && *packet > static_cast<int64_t>(2 * kPacketHeadroom))
        limit = static_cast<size_t>(*packet);
    maxStatementBytes_ = std::min(limit - kPacketHeadroom, kLargestStatement);
    return true;
}

bool CServerTarget::BeginDatabase(const CSaveDatabase& database, std::u16string& error) {
    std::u16string create = u"CREATE DATABASE IF NOT EXISTS ";
    AppendQuotedName(create, database.name);
    create += database.options;
    if (!connection_.Execute(create, error)) return false;
    return connection_.Execute(u"USE " + QuotedName(database.name), error);
}

bool CServerTarget::Execute(std::u16string_view statement, std::u16string& error) {
    return connection_.Execute(statement, error);
}

bool CServerTarget::ExecuteUtf8(std::string_view statement, std::u16string& error) {
    // Runs of ASCII, most of a statement, are widened byte by byte; the
    // runs of other bytes between them are whole UTF-8 sequences, decoded
    // as AppendUtf8 decodes any text.
    wide_.clear();
    const std::span<const uint8_t> bytes = AsBytes(statement);
    for (size_t i = 0; i < bytes.size();) {
        size_t j = i;
        while (j < bytes.size() && bytes[j] < 0x80) ++j;
        const size_t at = wide_.size();
        wide_.resize(at + (j - i));
        for (size_t k = i; k < j; ++k) wide_[at + k - i] = bytes[k];
        i = j;
        while (j < bytes.size() && bytes[j] >= 0x80) ++j;
        AppendUtf8(wide_, bytes.subspan(i, j - i));
        i = j;
    }
    return connection_.Execute(wide_, error);
}

bool CServerTarget::BeginTransaction(std::u16string& error) {
    return connection_.Execute(u"START TRANSACTION", error);
}

bool CServerTarget::Commit(std::u16string& error) {
    return connection_.Execute(u"COMMIT", error);
}

bool CServerTarget::Rollback(std::u16string& error) {
    return connection_.Execute(u"ROLLBACK", error);
}

bool CServerTarget::WriteText(std::u16string_view, std::u16string& error) {
    error = u"a server takes statements, not script text";
    return false;
}

}  // namespace brix
