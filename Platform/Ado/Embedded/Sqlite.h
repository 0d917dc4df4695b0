// SQLite for the embedded database: its failures as HRESULTs, and owners of a
// prepared statement and of a write transaction.
#pragma once
#include <sqlite3.h>

#include <string>

#include "Platform/Ado/Ado.h"

namespace Ado::Embedded {

constexpr char kSource[] = "Microsoft OLE DB Provider for SQL Server";

// A statement error: DB_E_ERRORSINCOMMAND with `text`.
[[noreturn]] void RaiseStatementError(const std::string& text);

// The last SQLite failure on `db`: E_FAIL when the database cannot be
// reached or cannot take data now (locked past the busy time-out, an I/O
// error, a full disk, a read-only file, a file that cannot be opened or is
// no database), DB_E_ERRORSINCOMMAND otherwise. E_FAIL leaves the importer's
// file for a later run; a statement error would send a good file to the
// error folder.
[[noreturn]] void RaiseSqliteError(sqlite3* db, const std::string& context = "");

// Called inside a catch block: rethrows the exception being handled as a
// ComError, so that no standard exception leaves the provider. A ComError
// stays as it is; std::bad_alloc becomes E_FAIL (the database cannot work now,
// the importer keeps the file for a later run); any other exception is a
// statement error.
[[noreturn]] void RaiseCurrentException();

// A prepared statement, finalized on destruction.
class CStatement {
public:
    CStatement(sqlite3* db, const std::string& sql);
    ~CStatement() { sqlite3_finalize(m_stmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    sqlite3_stmt* Get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// A write transaction (BEGIN IMMEDIATE), rolled back unless committed. Inside
// a transaction that the connection already has open, it is a savepoint of
// it: a rollback undoes only its own work, and a commit leaves the rest to the
// outer transaction's COMMIT.
class CTransaction {
public:
    explicit CTransaction(sqlite3* db);
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;
    void Commit();

private:
    sqlite3* m_db;
    bool m_nested = false;
    bool m_done = false;
};

}  // namespace Ado::Embedded
