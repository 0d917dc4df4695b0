// SQL Server's conversions of a data file's fields, as BULK INSERT makes
// them: numbers, dates (SQL Server's forms, 1/300 s), UTF-8 text, and each
// column's longest valid field. Pure functions over spans of a record.
#pragma once
#include <cstddef>

#include "Schema/LogSchema.h"

namespace Ado::Embedded {

// The field without surrounding blanks, as a span of the record.
void Trim(const char*& p, size_t& n);

// Number and date fields longer than this are conversion errors, so that a
// record of the table has a longest valid length (blanks and leading zeros
// included, a number or date field stays far below it).
constexpr size_t kScalarFieldLimit = 256;

// The longest field of `column` that can convert, in bytes of the file:
// VARCHAR(n) counts the bytes of the code page, NVARCHAR(n) n characters of
// at most four bytes.
size_t FieldLimit(const Schema::ColumnDef& column);

// SQL Server's integer from text: blanks around, an optional sign, digits.
// Leading zeros do not count against the 19 digits of a BIGINT.
bool ParseInteger(const char* p, size_t n, long long low, long long high, long long* value);

// SQL Server's DATETIME from text, as "YYYY-MM-DD hh:mm:ss.fff" into `out`
// (24 bytes). Accepted (see README.md):
//   yyyy-mm-ddThh:mm:ss[.fff]           ISO 8601, every part of two digits
//   yyyymmdd[ time]                     unseparated
//   yyyy/m/d[ time]                     with '/', '-' or '.', one or two digits
// The value is rounded to DATETIME's 1/300 second and must lie in 1753-9999.
bool ParseDateTime(const char* p, size_t n, char* out);

// True when the bytes are well-formed UTF-8; `characters` receives how many
// characters they hold.
bool ValidUtf8(const char* p, size_t n, size_t* characters);

}  // namespace Ado::Embedded
