// The embedded database: a SQLite file that stands in for the product's SQL
// Server database.
//
//   Opening        the file, durability settings, the schema on first use
//   Statements     BULK INSERT, transactions, or SQLite as written; rows into
//                  Variants
//   Procedures     prdUpdateVYLog
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>

#include "Platform/Ado/Embedded/BulkInsert.h"
#include "Platform/Ado/Embedded/Sqlite.h"
#include "Platform/Ado/Provider.h"
#include "Schema/LogSchema.h"

namespace Ado {

namespace Embedded {
namespace {

// "YYYY-MM-DD hh:mm:ss[.fff]" as an OLE date; false for anything else.
bool TextToOleDate(const char* text, double* date) {
    int y, mo, d, h = 0, mi = 0, s = 0, ms = 0;
    int n = std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms);
    if (n < 3)
        return false;
    *date = OleDateFromParts({y, mo, d, h, mi, s, ms / 1000.0});
    return true;
}

Variant ColumnValue(sqlite3_stmt* stmt, int i) {
    const char* declared = sqlite3_column_decltype(stmt, i);
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_NULL:
            return Variant::Null();
        case SQLITE_INTEGER: {
            sqlite3_int64 v = sqlite3_column_int64(stmt, i);
            // BIGINT columns (LogID included) come as 64-bit values.
            bool wide = declared && (strcasecmp(declared, "BIGINT") == 0 ||
                                     strcasecmp(declared, "INTEGER") == 0);
            if (!wide && v >= INT32_MIN && v <= INT32_MAX)
                return Variant::I4(static_cast<std::int32_t>(v));
            return Variant::I8(v);
        }
        case SQLITE_FLOAT:
            return Variant::R8(sqlite3_column_double(stmt, i));
        default: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            double date;
            if (declared && strcasecmp(declared, "DATETIME") == 0 && TextToOleDate(text, &date))
                return Variant::Date(date);
            return Variant::Text(
                std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, i))));
        }
    }
}

// T-SQL's explicit transaction statements in SQLite's words, or null for any
// other statement. BEGIN takes the write lock at once, so that the first write
// inside the transaction waits for another writer instead of failing as busy.
const char* TransactionStatement(const std::string& sql) {
    std::string words;
    for (char c : sql) {
        if (c == ';')
            continue;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!words.empty() && words.back() != ' ')
                words += ' ';
            continue;
        }
        words += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!words.empty() && words.back() == ' ')
        words.pop_back();
    static const struct {
        const char* words;
        const char* sqlite;
    } kStatements[] = {
        {"BEGIN TRANSACTION", "BEGIN IMMEDIATE"},
        {"BEGIN TRAN", "BEGIN IMMEDIATE"},
        {"COMMIT TRANSACTION", "COMMIT"},
        {"COMMIT TRAN", "COMMIT"},
        {"COMMIT", "COMMIT"},
        {"ROLLBACK TRANSACTION", "ROLLBACK"},
        {"ROLLBACK TRAN", "ROLLBACK"},
        {"ROLLBACK", "ROLLBACK"},
    };
    for (const auto& statement : kStatements)
        if (words == statement.words)
            return statement.sqlite;
    return nullptr;
}

// The schema's version in PRAGMA user_version: 1 before the load ledger.
constexpr int kSchemaVersion = 2;

class CEmbeddedSession : public IProviderSession {
public:
    CEmbeddedSession(const std::string& path, long connectionTimeout) {
        int rc = sqlite3_open_v2(path.c_str(), &m_db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) {
            std::string text = std::string("Cannot open database \"") + path +
                               "\": " + (m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw ComError(kEFail, text, kSource);
        }
        try {
            SetBusyTimeout(connectionTimeout);
            // Switching a new file to WAL, or reading it while another process
            // does, can fail as busy at once, without the busy handler: such a
            // failure is tried again until the connection timeout (0: no limit).
            auto start = std::chrono::steady_clock::now();
            for (int attempt = 1;; ++attempt) {
                try {
                    SetUp();
                    break;
                } catch (const ComError&) {
                    int code = sqlite3_errcode(m_db) & 0xFF;
                    if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
                        (connectionTimeout > 0 && std::chrono::steady_clock::now() - start >=
                                                      std::chrono::seconds(connectionTimeout)))
                        throw;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(attempt, 20)));
            }
        } catch (...) {
            sqlite3_close(m_db);
            throw;
        }
    }
    ~CEmbeddedSession() override { sqlite3_close(m_db); }
    CEmbeddedSession(const CEmbeddedSession&) = delete;
    CEmbeddedSession& operator=(const CEmbeddedSession&) = delete;

    std::optional<ResultSet> Execute(const std::string& sql, long timeoutSeconds,
                                     long* affected) override {
        try {
            return Run(sql, timeoutSeconds, affected);
        } catch (...) {
            RaiseCurrentException();
        }
    }

    void CallProcedure(const std::string& name, std::vector<ProcedureParameter>& params,
                       long timeoutSeconds, long* affected) override {
        try {
            Call(name, params, timeoutSeconds, affected);
        } catch (...) {
            RaiseCurrentException();
        }
    }

private:
    std::optional<ResultSet> Run(const std::string& sql, long timeoutSeconds, long* affected) {
        SetBusyTimeout(timeoutSeconds);
        if (const char* statement = TransactionStatement(sql)) {
            // As on the server, a COMMIT or ROLLBACK without a transaction
            // is a statement error.
            Exec(statement);
            if (affected)
                *affected = -1;
            return std::nullopt;
        }
        if (IsBulkInsert(sql)) {
            long rows = RunBulkInsert(m_db, ParseBulkInsert(sql), timeoutSeconds);
            if (affected)
                *affected = rows;
            return std::nullopt;
        }
        std::optional<ResultSet> result;
        long changes = -1;
        const char* tail = sql.c_str();
        while (tail && *tail) {
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v2(m_db, tail, -1, &raw, &tail) != SQLITE_OK)
                RaiseSqliteError(m_db);
            if (!raw)
                break;  // only blanks or comments were left
            std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
            int columns = sqlite3_column_count(raw);
            ResultSet rows;
            for (int i = 0; i < columns; ++i) rows.names.emplace_back(sqlite3_column_name(raw, i));
            int rc;
            while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
                std::vector<Variant> row;
                for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(raw, i));
                rows.rows.push_back(std::move(row));
            }
            if (rc != SQLITE_DONE)
                RaiseSqliteError(m_db);
            if (columns > 0) {
                result = std::move(rows);
            } else {
                changes = sqlite3_changes(m_db);
            }
        }
        if (affected)
            *affected = result ? -1 : changes;
        return result;
    }

    void Call(const std::string& name, std::vector<ProcedureParameter>& params, long timeoutSeconds,
              long* affected) {
        SetBusyTimeout(timeoutSeconds);
        std::string bare = name;
        size_t dot = bare.rfind('.');
        if (dot != std::string::npos)
            bare = bare.substr(dot + 1);
        if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']')
            bare = bare.substr(1, bare.size() - 2);
        if (strcasecmp(bare.c_str(), Schema::kUpdateProcedure) != 0)
            RaiseStatementError("Could not find stored procedure '" + name + "'.");
        if (params.size() != 1)
            RaiseStatementError(std::string("Procedure or function '") + Schema::kUpdateProcedure +
                                "' expects parameter '@strReturn', which was not supplied.");
        std::string message;
        try {
            UpdateHistory();
        } catch (const ComError& error) {
            if (error.Error() == kEFail)
                throw;  // the database cannot be reached
            message = error.Description() ? error.Description() : "";
        }
        // char(256): the text padded with blanks, and all blanks on success.
        message.resize(Schema::kProcedureReturnSize, ' ');
        params[0].value = Variant::Text(message);
        if (affected)
            *affected = -1;
    }

    void Exec(const std::string& sql) {
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            RaiseSqliteError(m_db);
    }

    void SetUp() {
        // A commit is on disk before the call returns: the importer moves or
        // deletes the file right after the load.
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=FULL");
        // Room for a bulk load's pages before they spill to the log.
        Exec("PRAGMA cache_size=-16384");
        CreateSchemaIfNew();
    }

    void SetBusyTimeout(long seconds) {
        sqlite3_busy_timeout(m_db, seconds > 0 && seconds < INT_MAX / 1000
                                       ? static_cast<int>(seconds * 1000)
                                       : INT_MAX);
    }

    int SchemaVersion() {
        CStatement query(m_db, "PRAGMA user_version");
        if (sqlite3_step(query.Get()) != SQLITE_ROW)
            RaiseSqliteError(m_db);
        return sqlite3_column_int(query.Get(), 0);
    }

    // A database that has its whole schema is only read here, so that opening
    // does not wait for a writer. One made before the load ledger gets it.
    void CreateSchemaIfNew() {
        if (SchemaVersion() >= kSchemaVersion)
            return;
        CTransaction transaction(m_db);
        if (SchemaVersion() < kSchemaVersion) {
            for (const std::string& statement : Schema::SqliteSchema()) Exec(statement);
            Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
        }
        transaction.Commit();
    }

    // Each log table's row count and highest LogID into the history table.
    void UpdateHistory() {
        CTransaction transaction(m_db);
        for (const Schema::TableDef& table : Schema::Tables()) {
            if (!table.logTable)
                continue;
            Exec(std::string("INSERT INTO ") + Schema::kHistoryTable +
                 " (TableName, LogCount, MaxLogID, UpdatedAt) SELECT '" + table.name +
                 "', COUNT(*), MAX(LogID), strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime') "
                 "FROM " +
                 table.name +
                 " WHERE 1 ON CONFLICT (TableName) DO UPDATE SET LogCount = excluded.LogCount, "
                 "MaxLogID = excluded.MaxLogID, UpdatedAt = excluded.UpdatedAt");
        }
        transaction.Commit();
    }

    sqlite3* m_db = nullptr;
};

}  // namespace
}  // namespace Embedded

std::unique_ptr<IProviderSession> OpenEmbeddedSession(const std::string& connectionString,
                                                      const std::string&, const std::string&,
                                                      long connectionTimeout) {
    try {
        std::vector<ConnectionAttribute> attributes = ParseConnectionString(connectionString);
        const std::string* path = FindAttribute(attributes, "Data Source");
        if (!path || path->empty())
            throw ComError(kEFail, "The embedded database needs \"Data Source=<file>\".",
                           Embedded::kSource);
        return std::make_unique<Embedded::CEmbeddedSession>(*path, connectionTimeout);
    } catch (...) {
        Embedded::RaiseCurrentException();
    }
}

}  // namespace Ado
