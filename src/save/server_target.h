#pragma once

#include "save/odbc_connection.h"
#include "save/save_target.h"

namespace brix {

// Runs every statement on a server through an open ODBC connection. Start
// sets the session up and learns the server's packet limit, which bounds the
// INSERT statements.
class CServerTarget : public CSaveTarget {
  public:
    explicit CServerTarget(COdbcConnection& connection) : connection_(connection) {}

    // Runs the session statements and reads max_allowed_packet. False with
    // the driver's message when a statement fails.
    bool Start(std::u16string& error);

    bool BeginDatabase(const CSaveDatabase& database, std::u16string& error) override;
    bool Execute(std::u16string_view statement, std::u16string& error) override;
    // Converted into a buffer kept from statement to statement.
    bool ExecuteUtf8(std::string_view statement, std::u16string& error) override;
    bool UsesTransactions() const override { return true; }
    bool BeginTransaction(std::u16string& error) override;
    bool Commit(std::u16string& error) override;
    bool Rollback(std::u16string& error) override;
    bool EndDatabase(std::u16string&) override { return true; }
    size_t MaxStatementBytes() const override { return maxStatementBytes_; }
    bool IsScript() const override { return false; }
    bool WriteText(std::u16string_view, std::u16string& error) override;

    // Room left in a packet for the protocol around a statement.
    static constexpr size_t kPacketHeadroom = 4096;
    // Statements stay within the packet limit and within this size even
    // when the server allows more: the ODBC driver converts and copies every
    // statement several times, and statements of 1 MiB cost the client less
    // time and memory than ones of 4 or 16 MiB.
    static constexpr size_t kLargestStatement = 1 << 20;
    // The server's default packet limit, for a server that does not say.
    static constexpr size_t kDefaultPacket = 16 << 20;

  private:
    COdbcConnection& connection_;
    size_t maxStatementBytes_ = kDefaultPacket - kPacketHeadroom;
    std::u16string wide_;
};

}  // namespace brix
