#include "Platform/Ado/Embedded/EmbeddedError.h"

namespace Ado::Embedded {

void RaiseStatementError(const std::string& text) {
    throw ComError(kDbErrorsInCommand, text, kSource);
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
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_PROTOCOL:
            throw ComError(kEFail, text, kSource);
        default:
            RaiseStatementError(text);
    }
}

}  // namespace Ado::Embedded
