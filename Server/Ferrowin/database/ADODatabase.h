// The program's database connection: opens it, runs statements without rows,
// keeps the last failure's text and code, and reopens itself after a lost
// connection.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "Platform/Ado/Ado.h"

// The process-wide statement lock: at most one statement, recordset open or
// command execution runs at a time.
std::mutex& StatementLock();

class CADODatabase {
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

    std::string GetLastErrorText() const;
    std::uint32_t GetLastErrorCode() const { return m_lastErrorCode; }
    long GetRecordsAffected() const { return m_recordsAffected; }
    std::shared_ptr<Ado::Connection> GetConnection() const { return m_connection; }
    const std::string& GetConnectionString() const { return m_connectionString; }
    void SetConnectionTimeout(long seconds) { m_connectTimeout = seconds; }

    // Closes and reopens after E_FAIL or 0x800A0E7D; one at a time per
    // object. Non-zero when the connection is usable afterwards.
    int Reconnect(Ado::HRESULT error);
    void RecordComError(const Ado::ComError& error);
    bool IsReconnecting() const { return m_reconnecting.load() != 0; }

private:
    Ado::Connection& Connection();

    std::shared_ptr<Ado::Connection> m_connection;
    std::string m_connectionString;
    std::string m_lastErrorText;
    std::uint32_t m_lastErrorCode = 0;
    long m_recordsAffected = 0;
    long m_connectTimeout = 0;
    std::string m_userId;
    std::string m_password;
    std::atomic<long> m_reconnecting{0};
};
