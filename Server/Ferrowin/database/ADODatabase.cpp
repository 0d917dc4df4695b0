#include "Server/Ferrowin/database/ADODatabase.h"

std::mutex& StatementLock() {
    static std::mutex lock;
    return lock;
}

CADODatabase::CADODatabase() : m_connection(Ado::Connection::Create()) {}

CADODatabase::~CADODatabase() {
    try {
        if (IsOpen())
            Close();
    } catch (const Ado::ComError&) {
        // Nothing can be reported from a destructor.
    }
    m_connection.reset();
}

Ado::Connection& CADODatabase::Connection() {
    if (!m_connection)
        throw Ado::ComError(Ado::kEPointer, "", "", false);
    return *m_connection;
}

int CADODatabase::IsOpen() {
    return m_connection && m_connection->State() != Ado::adStateClosed ? 1 : 0;
}

void CADODatabase::Close() {
    if (IsOpen())
        Connection().Close();
}

int CADODatabase::Open(const std::string& connectionString, const std::string& userId,
                       const std::string& password) {
    try {
        if (IsOpen())
            Close();
        if (!connectionString.empty()) {
            m_connectionString = connectionString;
            m_userId = userId;
            m_password = password;
        }
        if (m_connectTimeout != 0)
            Connection().SetConnectionTimeout(m_connectTimeout);
        Connection().Open(m_connectionString, m_userId, m_password, 0);
        return 1;
    } catch (const Ado::ComError& error) {
        RecordComError(error);
        return 0;
    }
}

int CADODatabase::OpenSqlServer(const std::string& server, const std::string& database,
                                const std::string& userId, const std::string& password) {
    if (IsOpen())
        Close();
    std::string text =
        "Provider=SQLOLEDB.1; Data Source=" + server + "; Initial Catalog=" + database;
    if (userId.empty())
        text += "; Integrated Security=SSPI;";
    else
        text += "; User ID=" + userId + "; PWD=" + password;
    return Open(text, "", "");
}

int CADODatabase::OpenJet(const std::string& path, const std::string& password) {
    if (IsOpen())
        Close();
    std::string text = "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + path;
    if (!password.empty())
        text += ";Jet OLEDB:Database Password=" + password + ";";
    return Open(text, "", "");
}

int CADODatabase::Execute(const std::string& sql) {
    m_recordsAffected = 0;
    Ado::Variant affected;
    try {
        std::lock_guard<std::mutex> lock(StatementLock());
        Connection().SetCursorLocation(Ado::adUseClient);
        Connection().Execute(sql, &affected, Ado::adExecuteNoRecords);
        m_recordsAffected = affected.vt == Ado::VT_I4 ? affected.lVal : 0;
        return 1;
    } catch (const Ado::ComError& error) {
        RecordComError(error);
        ReconnectAfter(Operation::Statement, error.Error());
        return 0;
    }
}

bool CADODatabase::ReopensConnection(Operation operation, Ado::HRESULT error) {
    switch (operation) {
        case Operation::Statement:
        case Operation::Procedure:
            return error == Ado::kEFail;
        case Operation::RecordsetOpen:
            return error == Ado::kEFail || error == Ado::kAdoConnectionUnusable;
    }
    return false;
}

void CADODatabase::ReconnectAfter(Operation operation, Ado::HRESULT error) {
    if (ReopensConnection(operation, error))
        Reconnect(error);
}

int CADODatabase::Reconnect(Ado::HRESULT error) {
    if (error != Ado::kEFail && error != Ado::kAdoConnectionUnusable)
        return 0;
    long idle = 0;
    if (!m_reconnecting.compare_exchange_strong(idle, 1))
        return 0;
    int result = 1;
    try {
        // After E_FAIL the connection is broken, whatever its State says.
        if (error == Ado::kEFail)
            Close();
        if (!IsOpen())
            result = Open("", "", "");
    } catch (const Ado::ComError& failure) {
        RecordComError(failure);
        result = 0;
    }
    m_reconnecting.exchange(0);
    return result;
}
