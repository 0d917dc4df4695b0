// The load of a BULK INSERT: one transaction, each field bound for its
// column, faulty records counted against MAXERRORS.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Ado/Embedded/BulkInsert.h"
#include "Platform/Ado/Embedded/BulkRecordReader.h"
#include "Platform/Ado/Embedded/BulkValues.h"
#include "Platform/Ado/Embedded/Cp932.h"
#include "Platform/Ado/Embedded/Sqlite.h"

namespace Ado::Embedded {

namespace {

enum class FieldError { kNone, kMismatch, kTruncation, kNull };

// Binds one field to its parameter, converting it for the column. The text
// bound must live until the row is stepped, so conversions go to `scratch`.
FieldError BindField(sqlite3_stmt* insert, int parameter, const Schema::ColumnDef& column,
                     const char* p, size_t n, CodePage codePage, std::string& scratch) {
    if (n == 0) {
        if (column.defaultValue) {
            // SQLite gives the column its default when the value is left out;
            // the prepared INSERT names every column, so bind the default here.
            scratch = column.defaultValue;
            long long v;
            if (ParseInteger(scratch.data(), scratch.size(), INT64_MIN, INT64_MAX, &v))
                sqlite3_bind_int64(insert, parameter, v);
            else
                sqlite3_bind_text(insert, parameter, scratch.c_str(),
                                  static_cast<int>(scratch.size()), SQLITE_STATIC);
            return FieldError::kNone;
        }
        bool character = column.type == Schema::ColumnType::VarChar ||
                         column.type == Schema::ColumnType::NVarChar;
        if (column.notNull && !character)
            return FieldError::kNull;
        if (column.notNull)
            sqlite3_bind_text(insert, parameter, "", 0, SQLITE_STATIC);
        else
            sqlite3_bind_null(insert, parameter);
        return FieldError::kNone;
    }
    if (n > FieldLimit(column))  // longer than any value the column takes
        return column.type == Schema::ColumnType::VarChar ||
                       column.type == Schema::ColumnType::NVarChar
                   ? FieldError::kTruncation
                   : FieldError::kMismatch;
    switch (column.type) {
        case Schema::ColumnType::Int:
        case Schema::ColumnType::BigInt: {
            long long v;
            bool wide = column.type == Schema::ColumnType::BigInt;
            if (!ParseInteger(p, n, wide ? INT64_MIN : INT32_MIN, wide ? INT64_MAX : INT32_MAX, &v))
                return FieldError::kMismatch;
            sqlite3_bind_int64(insert, parameter, v);
            return FieldError::kNone;
        }
        case Schema::ColumnType::DateTime:
            scratch.resize(24);
            if (!ParseDateTime(p, n, scratch.data()))
                return FieldError::kMismatch;
            sqlite3_bind_text(insert, parameter, scratch.data(), 23, SQLITE_STATIC);
            return FieldError::kNone;
        case Schema::ColumnType::VarChar:
        case Schema::ColumnType::NVarChar:
            break;
    }
    // Text: VARCHAR(n) counts the bytes of the code page, NVARCHAR(n) the
    // characters.
    const char* text = p;
    size_t length = n;
    size_t characters = n;
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i) ascii = static_cast<unsigned char>(p[i]) < 0x80;
    if (!ascii && codePage == CodePage::Cp932) {
        scratch.clear();
        if (!Cp932ToUtf8(p, n, &scratch, &characters))
            return FieldError::kMismatch;
        text = scratch.data();
        length = scratch.size();
    } else if (!ascii && codePage == CodePage::Utf8) {
        if (!ValidUtf8(p, n, &characters))
            return FieldError::kMismatch;
    }
    size_t measured = column.type == Schema::ColumnType::VarChar ? n : characters;
    if (measured > static_cast<size_t>(column.size))
        return FieldError::kTruncation;
    sqlite3_bind_text(insert, parameter, text, static_cast<int>(length), SQLITE_STATIC);
    return FieldError::kNone;
}

std::string RowMessage(FieldError error, long row, size_t column, const Schema::ColumnDef& def,
                       const std::string& table) {
    std::string where = " for row " + std::to_string(row) + ", column " + std::to_string(column) +
                        " (" + def.name + ").";
    switch (error) {
        case FieldError::kTruncation:
            return "Bulk load data conversion error (truncation)" + where;
        case FieldError::kNull:
            return "Cannot insert the value NULL into column '" + std::string(def.name) +
                   "', table '" + table + "'; column does not allow nulls" + where;
        default:
            return "Bulk load data conversion error (type mismatch or invalid character for the "
                   "specified codepage)" +
                   where;
    }
}

// The text of a failed load: the reason, then the messages of the faulty
// rows as far as a reader can see them. The database layer keeps 512
// characters of an error text, so messages past that are counted, not kept.
class CLoadMessages {
public:
    void Add(const std::string& message) {
        if (m_text.size() < kShown)
            m_text += "\n" + message;
    }
    [[noreturn]] void Raise(const std::string& reason) const {
        RaiseStatementError(reason + m_text);
    }

private:
    static constexpr size_t kShown = 512;
    std::string m_text;
};

long Load(sqlite3* db, const BulkInsertStatement& s, const CDeadline& deadline) {
    const Schema::TableDef* table = Schema::FindTable(s.table);
    if (!table)
        RaiseStatementError("Invalid object name '" + s.table + "'.");
    if (s.maxErrors < 0)
        RaiseStatementError("Invalid MAXERRORS value.");
    CDataFile file(s.path);

    // Every column but the identity, in table order.
    std::string columns, values;
    std::vector<size_t> limits;
    for (const Schema::ColumnDef& c : table->columns) {
        limits.push_back(FieldLimit(c));
        if (c.identity)
            continue;
        columns += std::string(columns.empty() ? "" : ", ") + "[" + c.name + "]";
        values += values.empty() ? "?" : ", ?";
    }
    CTransaction transaction(db);
    deadline.Check();  // the wait for the lock counts
    CStatement insert(db, std::string("INSERT INTO [") + table->name + "] (" + columns +
                              ") VALUES (" + values + ")");
    CRecordReader reader(file.Fd(), s.path, s.fieldTerminator, s.rowTerminator, std::move(limits),
                         deadline);
    std::vector<std::string> scratch(table->columns.size());
    CLoadMessages messages;
    long errors = 0, loaded = 0, row = 0;

    auto fail = [&](const std::string& message) {
        messages.Add(message);
        if (++errors > s.maxErrors)
            messages.Raise("Cannot bulk load because the maximum number of errors (" +
                           std::to_string(s.maxErrors) + ") was exceeded.");
    };
    // Binds fields [0, count); the first that fails, or count.
    auto bind = [&](size_t count, FieldError* error) {
        const auto& fields = reader.Fields();
        int parameter = 0;
        for (size_t i = 0; i < count; ++i) {
            const Schema::ColumnDef& column = table->columns[i];
            if (column.identity)
                continue;  // present in the file, assigned by the table
            *error = BindField(insert.Get(), ++parameter, column, fields[i].first, fields[i].second,
                               s.codePage, scratch[i]);
            if (*error != FieldError::kNone)
                return i;
        }
        return count;
    };

    for (;;) {
        CRecordReader::Result r = reader.Next();
        if (r == CRecordReader::Result::kEnd)
            break;
        if (r == CRecordReader::Result::kTruncated)
            messages.Raise(
                "Bulk load: An unexpected end of file was encountered in the data file.");
        ++row;
        if ((row & 0xFF) == 0)
            deadline.Check();
        if (row < s.firstRow)
            continue;
        FieldError error = FieldError::kNone;
        size_t count =
            r == CRecordReader::Result::kRecord ? table->columns.size() : reader.OverlongField();
        size_t bad = bind(count, &error);
        if (error == FieldError::kNone && r == CRecordReader::Result::kOverlong) {
            const Schema::ColumnDef& column = table->columns[bad];
            error = column.type == Schema::ColumnType::VarChar ||
                            column.type == Schema::ColumnType::NVarChar
                        ? FieldError::kTruncation
                        : FieldError::kMismatch;
        }
        if (error != FieldError::kNone) {
            sqlite3_clear_bindings(insert.Get());
            fail(RowMessage(error, row, bad + 1, table->columns[bad], table->name));
            continue;
        }
        if (sqlite3_step(insert.Get()) != SQLITE_DONE)
            RaiseSqliteError(db);
        sqlite3_reset(insert.Get());
        ++loaded;
    }
    deadline.Check();
    transaction.Commit();
    return loaded;
}

}  // namespace

// --------------------------------------------------------------- the load

long RunBulkInsert(sqlite3* db, const BulkInsertStatement& s, long timeoutSeconds) {
    try {
        return Load(db, s, CDeadline(timeoutSeconds));
    } catch (...) {
        RaiseCurrentException();
    }
}

}  // namespace Ado::Embedded
