// The program's database connection: opens it, runs statements without rows,
// keeps the last failure's text and code, and reopens itself after a lost
// connection.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "Platform/Ado/Ado.h"
#include "Server/Ferrowin/database/ADOErrorHolder.h"

// The process-wide statement lock: at most one statement, recordset open or
// command execution runs at a time.
std::mutex& StatementLock();

class CADODatabase : public CADOErrorHolder {
public:
    CADODatabase();
    virtual ~CADODatabase();
    CADODatabase(const CADODatabase&) = delete;
    CADODatabase& operator=(const CADODatabase&) = delete;

    // Opens with the connection string, or with the stored one when it is
    // empty. Non-zero when open; 0 with the error recorded.
    int Open(const std::string& connectionString, const std::string& userId = "",
             const std::string& password = "");
    int OpenSqlServer(const std::string& server, const std::string& database,
                      const std::string& userId, const std::string& password);
    int OpenJet(const std::string& path, const std::string& password = "");

    // ComError escapes from these two.
    int IsOpen();
    void Close();

    // Runs a statement without rows under the statement lock. Non-zero on
    // success; on failure 0 with the error recorded, and after E_FAIL the
    // connection has been reopened (the statement is not retried).
    int Execute(const std::string& sql);

    long GetRecordsAffected() const { return m_recordsAffected; }
    std::shared_ptr<Ado::Connection> GetConnection() const { return m_connection; }
    const std::string& GetConnectionString() const { return m_connectionString; }
    void SetConnectionTimeout(long seconds) { m_connectTimeout = seconds; }

    // The operations of the layer that reopen the connection after some of
    // their failures.
    enum class Operation {
        Statement,      // Execute
        Procedure,      // CADOCommand::Execute
        RecordsetOpen,  // CADORecordset::Open
    };
    // Whether a failure of `operation` with `error` means the connection is
    // lost and is to be reopened. Statements and procedures: after E_FAIL
    // only. A recordset open: after E_FAIL, and also after 0x800A0E7D (the
    // connection cannot be used). Every other failure leaves it alone.
    static bool ReopensConnection(Operation operation, Ado::HRESULT error);
    // Reconnects when ReopensConnection says so; the failure is already
    // recorded by the caller's object.
    void ReconnectAfter(Operation operation, Ado::HRESULT error);

    // Closes and reopens after E_FAIL or 0x800A0E7D; one at a time per
    // object. Non-zero when the connection is usable afterwards.
    int Reconnect(Ado::HRESULT error);
    bool IsReconnecting() const { return m_reconnecting.load() != 0; }

private:
    Ado::Connection& Connection();

    std::shared_ptr<Ado::Connection> m_connection;
    std::string m_connectionString;
    long m_recordsAffected = 0;
    long m_connectTimeout = 0;
    std::string m_userId;
    std::string m_password;
    std::atomic<long> m_reconnecting{0};
};
