#include "save/server_target.h"

#include <algorithm>

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

bool CServerTarget::WriteText(std::u16string_view, std::u16string& error) {
    error = u"a server takes statements, not script text";
    return false;
}

}  // namespace brix
