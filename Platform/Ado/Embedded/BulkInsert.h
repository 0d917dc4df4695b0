// BULK INSERT on the embedded database: the statement's options, and the load
// of a data file under SQL Server's rules for files without a format file.
// The provider calls these three; behind them:
//   BulkStatement.cpp     the statement's tokens, options and terminators
//   BulkValues.*          SQL Server's conversions of a field (numbers, dates, text)
//   BulkRecordReader.*    the time limit, the data file, its records in chunks
//   BulkLoad.cpp          the load: one transaction, errors against MAXERRORS
#pragma once
#include <sqlite3.h>

#include <optional>
#include <string>

namespace Ado::Embedded {

enum class CodePage { Cp932, Utf8, Raw };

struct BulkInsertStatement {
    std::string table;
    std::string path;
    std::string fieldTerminator = "\t";
    std::string rowTerminator = "\r\n";
    long maxErrors = 10;
    long firstRow = 1;
    CodePage codePage = CodePage::Cp932;
};

// True when `sql` is a BULK INSERT statement (whatever its errors).
bool IsBulkInsert(const std::string& sql);

// Parses a BULK INSERT statement. Throws ComError 0x80040E14 with a SQL
// Server-like text for a malformed one.
BulkInsertStatement ParseBulkInsert(const std::string& sql);

// Loads the file into the table in one transaction and returns the rows
// inserted. Faulty records are skipped up to maxErrors; one more fails the
// statement, and a failed statement commits nothing. A file that ends inside
// a record fails the statement. Past `timeoutSeconds` (0: no limit) the load
// stops and fails with kDbTimeout. Every failure is a ComError: a file that is
// not a regular file, cannot be opened or read is a statement error
// (kDbErrorsInCommand), and so is any other fault of the statement; a
// database that cannot be reached is kEFail.
long RunBulkInsert(sqlite3* db, const BulkInsertStatement& statement, long timeoutSeconds);

}  // namespace Ado::Embedded
