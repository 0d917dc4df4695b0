#include "Platform/Ado/Embedded/Sqlite.h"

#include <exception>
#include <new>

namespace Ado::Embedded {

void RaiseStatementError(const std::string& text) {
    throw ComError(kDbErrorsInCommand, text, kSource);
}

void RaiseCurrentException() {
    std::exception_ptr current = std::current_exception();
    // Building the ComError needs memory too: when that fails, the next
    // attempt reports the lack of memory instead.
    for (int attempt = 0;; ++attempt) {
        try {
            try {
                std::rethrow_exception(current);
            } catch (const ComError&) {
                throw;
            } catch (const std::bad_alloc&) {
                throw ComError(kEFail, "There is insufficient system memory to run this query.",
                               kSource);
            } catch (const std::exception& e) {
                RaiseStatementError(std::string("The statement failed: ") + e.what());
            } catch (...) {
                RaiseStatementError("The statement failed.");
            }
        } catch (const std::bad_alloc&) {
            if (attempt == 3)
                throw;
            current = std::current_exception();
        }
    }
}

void RaiseSqliteError(sqlite3* db, const std::string& context) {
    int code = db ? sqlite3_extended_errcode(db) & 0xFF : SQLITE_CANTOPEN;
    std::string text = context + (db ? sqlite3_errmsg(db) : "out of memory");
    switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_FULL:
        case SQLITE_READONLY:
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_PROTOCOL:
            throw ComError(kEFail, text, kSource);
        default:
            RaiseStatementError(text);
    }
}

CStatement::CStatement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK)
        RaiseSqliteError(db);
}

CTransaction::CTransaction(sqlite3* db) : m_db(db), m_nested(sqlite3_get_autocommit(db) == 0) {
    if (sqlite3_exec(db, m_nested ? "SAVEPOINT nested_statement" : "BEGIN IMMEDIATE", nullptr,
                     nullptr, nullptr) != SQLITE_OK)
        RaiseSqliteError(db);
}

CTransaction::~CTransaction() {
    if (m_done)
        return;
    if (m_nested) {
        sqlite3_exec(m_db, "ROLLBACK TO nested_statement", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "RELEASE nested_statement", nullptr, nullptr, nullptr);
    } else {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void CTransaction::Commit() {
    if (sqlite3_exec(m_db, m_nested ? "RELEASE nested_statement" : "COMMIT", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        RaiseSqliteError(m_db);
    m_done = true;
}

}  // namespace Ado::Embedded
