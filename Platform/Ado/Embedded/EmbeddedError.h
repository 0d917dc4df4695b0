// SQLite failures as the embedded database reports them.
#pragma once
#include <sqlite3.h>

#include <string>

#include "Platform/Ado/Ado.h"

namespace Ado::Embedded {

constexpr char kSource[] = "Microsoft OLE DB Provider for SQL Server";

// A statement error: DB_E_ERRORSINCOMMAND with `text`.
[[noreturn]] void RaiseStatementError(const std::string& text);

// The last SQLite failure on `db`: E_FAIL when the database cannot be
// reached (locked past the busy time-out, an I/O error, a file that cannot be
// opened or is no database), DB_E_ERRORSINCOMMAND otherwise.
[[noreturn]] void RaiseSqliteError(sqlite3* db, const std::string& context = "");

}  // namespace Ado::Embedded
