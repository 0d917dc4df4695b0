// BULK INSERT.
//
//   Statement parsing    tokens, options, terminators
//   Field conversion     numbers, dates (SQL Server's forms, 1/300 s), text in
//                        the code page, each column's longest valid field
//   Record reading       the time limit; the byte stream in chunks, scanned once,
//                        overlong records skipped unkept; the data file
//   The load             one transaction, errors counted against MAXERRORS
#include "Platform/Ado/Embedded/BulkInsert.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "Platform/Ado/Embedded/Cp932.h"
#include "Platform/Ado/Embedded/LoaderSystem.h"
#include "Platform/Ado/Embedded/Sqlite.h"

namespace Ado::Embedded {

// ------------------------------------------------------ statement parsing

namespace {

struct Token {
    enum Kind { kWord, kString, kNumber, kSymbol, kEnd } kind;
    std::string text;
};

class CTokenizer {
public:
    explicit CTokenizer(const std::string& sql) : m_sql(sql) {}

    Token Next() {
        while (m_pos < m_sql.size() && std::isspace(static_cast<unsigned char>(m_sql[m_pos])))
            ++m_pos;
        if (m_pos >= m_sql.size())
            return {Token::kEnd, ""};
        char c = m_sql[m_pos];
        if (c == '\'') {  // a string literal; '' stands for one quote
            std::string text;
            for (++m_pos; m_pos < m_sql.size(); ++m_pos) {
                if (m_sql[m_pos] == '\'') {
                    if (m_pos + 1 < m_sql.size() && m_sql[m_pos + 1] == '\'') {
                        text += '\'';
                        ++m_pos;
                        continue;
                    }
                    ++m_pos;
                    return {Token::kString, text};
                }
                text += m_sql[m_pos];
            }
            RaiseStatementError("Unclosed quotation mark after the character string '" + text +
                                "'.");
        }
        if (c == '[' || c == '"') {  // a quoted identifier
            char close = c == '[' ? ']' : '"';
            size_t end = m_sql.find(close, m_pos + 1);
            if (end == std::string::npos)
                RaiseStatementError("Incorrect syntax near '" + std::string(1, c) + "'.");
            std::string text = m_sql.substr(m_pos + 1, end - m_pos - 1);
            if (text.empty())  // [] or "" names nothing
                RaiseStatementError(
                    "An object or column name is missing or empty. Aliases defined as \"\" "
                    "or [] are not allowed. Change the alias to a valid name.");
            m_pos = end + 1;
            return {Token::kWord, text};
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
            size_t start = m_pos++;
            while (m_pos < m_sql.size() && std::isdigit(static_cast<unsigned char>(m_sql[m_pos])))
                ++m_pos;
            return {Token::kNumber, m_sql.substr(start, m_pos - start)};
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@') {
            size_t start = m_pos++;
            while (m_pos < m_sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_sql[m_pos])) || m_sql[m_pos] == '_' ||
                    m_sql[m_pos] == '#' || m_sql[m_pos] == '$' || m_sql[m_pos] == '@'))
                ++m_pos;
            return {Token::kWord, m_sql.substr(start, m_pos - start)};
        }
        ++m_pos;
        return {Token::kSymbol, std::string(1, c)};
    }

private:
    const std::string& m_sql;
    size_t m_pos = 0;
};

bool Is(const Token& t, const char* word) {
    return t.kind == Token::kWord && strcasecmp(t.text.c_str(), word) == 0;
}

[[noreturn]] void SyntaxError(const Token& near) {
    RaiseStatementError("Incorrect syntax near '" +
                        (near.kind == Token::kEnd ? std::string(")") : near.text) + "'.");
}

// A terminator as the statement writes it: '\t', '\n', '\r', '\0', '\\',
// a hexadecimal byte such as '0xfe', or the characters themselves.
std::string Terminator(const std::string& text, bool row) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::string bytes;
        std::string digits = text.substr(2);
        if (digits.size() % 2 != 0 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            RaiseStatementError("Invalid terminator '" + text + "'.");
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes += static_cast<char>(std::stoul(digits.substr(i, 2), nullptr, 16));
        return bytes;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 't':
                out += '\t';
                break;
            case 'n':
                // A row's \n is CR LF, and so is \r\n: the CR is not doubled.
                out += row && (out.empty() || out.back() != '\r') ? "\r\n" : "\n";
                break;
            case 'r':
                out += '\r';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += text[i];
        }
    }
    if (out.empty())
        RaiseStatementError("Invalid terminator ''.");
    return out;
}

}  // namespace

bool IsBulkInsert(const std::string& sql) {
    // A text that does not even tokenize (an unclosed "[" or quote) is no
    // BULK INSERT: it goes to SQLite, which reports it as its own error.
    try {
        CTokenizer tokens(sql);
        return Is(tokens.Next(), "BULK") && Is(tokens.Next(), "INSERT");
    } catch (const ComError&) {
        return false;
    }
}

BulkInsertStatement ParseBulkInsert(const std::string& sql) {
    BulkInsertStatement s;
    CTokenizer tokens(sql);
    Token t = tokens.Next();
    if (!Is(t, "BULK") || !Is(t = tokens.Next(), "INSERT"))
        SyntaxError(t);
    // [database.][schema.]table: the last part names the table.
    t = tokens.Next();
    if (t.kind != Token::kWord)
        SyntaxError(t);
    s.table = t.text;
    for (t = tokens.Next(); t.kind == Token::kSymbol && t.text == "."; t = tokens.Next()) {
        t = tokens.Next();
        if (t.kind != Token::kWord)
            SyntaxError(t);
        s.table = t.text;
    }
    if (!Is(t, "FROM"))
        SyntaxError(t);
    t = tokens.Next();
    if (t.kind != Token::kString)
        SyntaxError(t);
    s.path = t.text;
    t = tokens.Next();
    if (t.kind == Token::kSymbol && t.text == ";")
        t = tokens.Next();
    if (t.kind == Token::kEnd)
        return s;
    if (!Is(t, "WITH"))
        SyntaxError(t);
    t = tokens.Next();
    if (t.kind != Token::kSymbol || t.text != "(")
        SyntaxError(t);
    for (;;) {
        Token option = tokens.Next();
        if (option.kind != Token::kWord)
            SyntaxError(option);
        Token next = tokens.Next();
        Token value{Token::kEnd, ""};
        if (next.kind == Token::kSymbol && next.text == "=") {
            value = tokens.Next();
            next = tokens.Next();
        }
        // An option's number: a lone "-" is no number, and one beyond the
        // int range fails as the server's conversion does.
        auto number = [&] {
            if (value.kind != Token::kNumber || value.text == "-")
                SyntaxError(value);
            long parsed = 0;
            const char* end = value.text.data() + value.text.size();
            auto [at, error] = std::from_chars(value.text.data(), end, parsed);
            if (error != std::errc() || at != end || parsed > INT32_MAX || parsed < INT32_MIN)
                RaiseStatementError(
                    "Arithmetic overflow error converting expression to data "
                    "type int.");
            return parsed;
        };
        auto text = [&] {
            if (value.kind != Token::kString)
                SyntaxError(value);
            return value.text;
        };
        if (Is(option, "FIELDTERMINATOR")) {
            s.fieldTerminator = Terminator(text(), false);
        } else if (Is(option, "ROWTERMINATOR")) {
            s.rowTerminator = Terminator(text(), true);
        } else if (Is(option, "MAXERRORS")) {
            s.maxErrors = number();
        } else if (Is(option, "FIRSTROW")) {
            s.firstRow = number();
        } else if (Is(option, "CODEPAGE")) {
            std::string page = text();
            if (page == "932" || strcasecmp(page.c_str(), "ACP") == 0 ||
                strcasecmp(page.c_str(), "OEM") == 0)
                s.codePage = CodePage::Cp932;
            else if (page == "65001")
                s.codePage = CodePage::Utf8;
            else if (strcasecmp(page.c_str(), "RAW") == 0)
                s.codePage = CodePage::Raw;
            else
                RaiseStatementError("The code page " + page + " is not supported by the server.");
        } else if (!Is(option, "TABLOCK") && !Is(option, "CHECK_CONSTRAINTS")) {
            SyntaxError(option);
        }
        if (next.kind == Token::kSymbol && next.text == ",")
            continue;
        if (next.kind == Token::kSymbol && next.text == ")")
            break;
        SyntaxError(next);
    }
    t = tokens.Next();
    if (t.kind == Token::kSymbol && t.text == ";")
        t = tokens.Next();
    if (t.kind != Token::kEnd)
        SyntaxError(t);
    return s;
}

// ------------------------------------------------------- field conversion

namespace {

enum class FieldError { kNone, kMismatch, kTruncation, kNull };

// The field without surrounding blanks, as a span of the record.
void Trim(const char*& p, size_t& n) {
    while (n > 0 && (*p == ' ' || *p == '\t')) ++p, --n;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t')) --n;
}

// Number and date fields longer than this are conversion errors, so that a
// record of the table has a longest valid length (blanks and leading zeros
// included, a number or date field stays far below it).
constexpr size_t kScalarFieldLimit = 256;

// The longest field of `column` that can convert, in bytes of the file:
// VARCHAR(n) counts the bytes of the code page, NVARCHAR(n) n characters of
// at most four bytes.
size_t FieldLimit(const ColumnDef& column) {
    switch (column.type) {
        case ColumnType::VarChar:
            return static_cast<size_t>(column.size);
        case ColumnType::NVarChar:
            return 4 * static_cast<size_t>(column.size);
        default:
            return kScalarFieldLimit;
    }
}

// SQL Server's integer from text: blanks around, an optional sign, digits.
// Leading zeros do not count against the 19 digits of a BIGINT.
bool ParseInteger(const char* p, size_t n, long long low, long long high, long long* value) {
    Trim(p, n);
    if (n == 0)
        return false;
    bool negative = *p == '-';
    size_t i = (*p == '-' || *p == '+') ? 1 : 0;
    if (i == n)
        return false;
    while (i + 1 < n && p[i] == '0') ++i;
    if (n - i > 19)
        return false;
    unsigned long long magnitude = 0;
    for (; i < n; ++i) {
        unsigned digit = static_cast<unsigned char>(p[i]) - '0';
        if (digit > 9)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude > (negative ? (1ULL << 63) : (1ULL << 63) - 1))
        return false;
    long long v =
        negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

// A cursor over a field for the date parser.
struct CDateText {
    const char* p;
    size_t n;
    size_t at = 0;

    bool End() const { return at == n; }
    bool Take(char c) {
        if (at < n && p[at] == c)
            return ++at, true;
        return false;
    }
    // Between `least` and `most` digits; `count` receives how many were read.
    bool Number(size_t least, size_t most, int* value, size_t* count = nullptr) {
        size_t start = at;
        int v = 0;
        while (at < n && at - start < most && p[at] >= '0' && p[at] <= '9')
            v = v * 10 + (p[at++] - '0');
        if (at - start < least)
            return false;
        *value = v;
        if (count)
            *count = at - start;
        return true;
    }
};

constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int DaysInMonth(int year, int month) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The time after a date: h:m[:s[.f|:f]] with one or two digits for hours,
// minutes and seconds, and one to three for the fraction. After a period the
// fraction is decimal (.5 is 500 ms); after a colon it counts milliseconds.
// `strict`: ISO 8601 after T, hh:mm:ss[.fff] with every part of two digits.
bool ParseTime(CDateText& t, bool strict, int* h, int* mi, int* se, int* ms) {
    size_t most = 2, least = strict ? 2 : 1;
    if (!t.Number(least, most, h) || !t.Take(':') || !t.Number(least, most, mi))
        return false;
    if (t.End())
        return !strict;
    if (!t.Take(':') || !t.Number(least, most, se))
        return false;
    if (t.End())
        return true;
    bool period = t.Take('.');
    if (!period && (strict || !t.Take(':')))
        return false;
    size_t digits = 0;
    if (!t.Number(1, 3, ms, &digits) || !t.End())
        return false;
    if (period)
        for (size_t k = digits; k < 3; ++k) *ms *= 10;
    return true;
}

// SQL Server's DATETIME from text, as "YYYY-MM-DD hh:mm:ss.fff" into `out`
// (24 bytes). Accepted (see README.md):
//   yyyy-mm-ddThh:mm:ss[.fff]           ISO 8601, every part of two digits
//   yyyymmdd[ time]                     unseparated
//   yyyy/m/d[ time]                     with '/', '-' or '.', one or two digits
// The value is rounded to DATETIME's 1/300 second and must lie in 1753-9999.
bool ParseDateTime(const char* p, size_t n, char* out) {
    Trim(p, n);
    CDateText t{p, n};
    int y, mo, d, h = 0, mi = 0, se = 0, ms = 0;
    size_t yearDigits = 0;
    if (!t.Number(4, 8, &y, &yearDigits))
        return false;
    if (yearDigits == 8) {  // unseparated yyyymmdd
        d = y % 100;
        mo = y / 100 % 100;
        y /= 10000;
        if (!t.End() && (!t.Take(' ') || !ParseTime(t, false, &h, &mi, &se, &ms)))
            return false;
    } else if (yearDigits != 4) {
        return false;
    } else {
        char separator = t.at < n ? p[t.at] : '\0';
        if ((separator != '-' && separator != '/' && separator != '.') || !t.Take(separator) ||
            !t.Number(1, 2, &mo) || !t.Take(separator) || !t.Number(1, 2, &d))
            return false;
        bool iso = separator == '-' && t.at == 10 && t.Take('T');
        if (iso) {
            if (!ParseTime(t, true, &h, &mi, &se, &ms))
                return false;
        } else if (!t.End() && (!t.Take(' ') || !ParseTime(t, false, &h, &mi, &se, &ms))) {
            return false;
        }
    }
    if (y < 1753 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo))
        return false;
    if (h > 23 || mi > 59 || se > 59)
        return false;
    // DATETIME keeps 1/300 second: .002 is stored as .003, .999 as the next
    // second (which may carry into the next year).
    int ticks = (ms * 3 + 5) / 10;
    if (ticks == 300) {
        ticks = 0;
        if (++se == 60 && ((se = 0), ++mi == 60) && ((mi = 0), ++h == 24)) {
            h = 0;
            if (++d > DaysInMonth(y, mo) && ((d = 1), ++mo == 13)) {
                mo = 1;
                if (++y > 9999)
                    return false;
            }
        }
    }
    ms = (ticks * 10 + 1) / 3;
    auto put = [&out](size_t at, int value, int width) {
        for (int k = width - 1; k >= 0; --k, value /= 10)
            out[at + static_cast<size_t>(k)] = static_cast<char>('0' + value % 10);
    };
    std::memcpy(out, "0000-00-00 00:00:00.000", 24);
    put(0, y, 4);
    put(5, mo, 2);
    put(8, d, 2);
    put(11, h, 2);
    put(14, mi, 2);
    put(17, se, 2);
    put(20, ms, 3);
    return true;
}

bool ValidUtf8(const char* p, size_t n, size_t* characters) {
    size_t count = 0;
    for (size_t i = 0; i < n; ++count) {
        auto c = static_cast<unsigned char>(p[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > n)
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(p[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    *characters = count;
    return true;
}

// Binds one field to its parameter, converting it for the column. The text
// bound must live until the row is stepped, so conversions go to `scratch`.
FieldError BindField(sqlite3_stmt* insert, int parameter, const ColumnDef& column, const char* p,
                     size_t n, CodePage codePage, std::string& scratch) {
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
        bool character = column.type == ColumnType::VarChar || column.type == ColumnType::NVarChar;
        if (column.notNull && !character)
            return FieldError::kNull;
        if (column.notNull)
            sqlite3_bind_text(insert, parameter, "", 0, SQLITE_STATIC);
        else
            sqlite3_bind_null(insert, parameter);
        return FieldError::kNone;
    }
    if (n > FieldLimit(column))  // longer than any value the column takes
        return column.type == ColumnType::VarChar || column.type == ColumnType::NVarChar
                   ? FieldError::kTruncation
                   : FieldError::kMismatch;
    switch (column.type) {
        case ColumnType::Int:
        case ColumnType::BigInt: {
            long long v;
            bool wide = column.type == ColumnType::BigInt;
            if (!ParseInteger(p, n, wide ? INT64_MIN : INT32_MIN, wide ? INT64_MAX : INT32_MAX, &v))
                return FieldError::kMismatch;
            sqlite3_bind_int64(insert, parameter, v);
            return FieldError::kNone;
        }
        case ColumnType::DateTime:
            scratch.resize(24);
            if (!ParseDateTime(p, n, scratch.data()))
                return FieldError::kMismatch;
            sqlite3_bind_text(insert, parameter, scratch.data(), 23, SQLITE_STATIC);
            return FieldError::kNone;
        case ColumnType::VarChar:
        case ColumnType::NVarChar:
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
    size_t measured = column.type == ColumnType::VarChar ? n : characters;
    if (measured > static_cast<size_t>(column.size))
        return FieldError::kTruncation;
    sqlite3_bind_text(insert, parameter, text, static_cast<int>(length), SQLITE_STATIC);
    return FieldError::kNone;
}

// --------------------------------------------------------- record reading

// The statement's time limit: none for a command timeout of 0, as in ADO.
class CDeadline {
public:
    explicit CDeadline(long seconds)
        : m_limited(seconds > 0),
          m_at(std::chrono::steady_clock::now() + std::chrono::seconds(m_limited ? seconds : 0)) {}

    bool Passed() const { return m_limited && std::chrono::steady_clock::now() >= m_at; }

    // Throws SQL Server's query timeout once the limit has passed.
    void Check() const {
        if (Passed())
            throw ComError(kDbTimeout, "Query timeout expired", kSource);
    }

private:
    bool m_limited;
    std::chrono::steady_clock::time_point m_at;
};

// Reads a file in chunks and hands out records: N-1 fields ending at the field
// terminator and the last one at the row terminator. Each byte is scanned
// once: the search for a terminator resumes where the last chunk ended. A
// field that grows past its column's longest valid length is reported at once
// (kOverlong) and the rest of its record is skipped without being kept, so
// the buffer never holds more than one chunk and one record of valid length.
class CRecordReader {
public:
    enum class Result {
        kRecord,     // Fields() holds every field
        kOverlong,   // field OverlongField() is too long; Fields() holds those before it
        kEnd,        // the file ended after a complete record
        kTruncated,  // the file ended inside a record
    };

    CRecordReader(int fd, const std::string& path, const std::string& fieldTerminator,
                  const std::string& rowTerminator, std::vector<size_t> limits,
                  const CDeadline& deadline)
        : m_fd(fd),
          m_path(path),
          m_field(fieldTerminator),
          m_row(rowTerminator),
          m_limits(std::move(limits)),
          m_deadline(deadline),
          m_starts(m_limits.size()),
          m_ends(m_limits.size()),
          m_spans(m_limits.size()) {
        size_t record = m_limits.size() * m_field.size() + m_row.size();
        for (size_t limit : m_limits) record += limit;
        m_buffer.reset(new char[record + kChunk]);
        m_capacity = record + kChunk;
    }

    // The next record. Fields() are spans of the buffer, valid until the next
    // call. Throws ComError when the file cannot be read or time runs out.
    Result Next() {
        if (m_atEnd)
            return Result::kEnd;
        const size_t last = m_limits.size() - 1;
        for (;;) {
            const std::string& terminator = m_index < last ? m_field : m_row;
            const char* base = m_buffer.get();
            const char* found = Find(base + m_scan, base + m_length, terminator);
            if (found) {
                size_t end = static_cast<size_t>(found - base);
                size_t index = m_index;
                bool tooLong = !m_skipping && end - m_fieldStart > m_limits[index];
                m_starts[index] = m_fieldStart;
                m_ends[index] = end;
                m_fieldStart = m_scan = end + terminator.size();
                bool recordEnds = index == last;
                m_index = recordEnds ? 0 : index + 1;
                if (recordEnds)
                    m_recordStart = m_fieldStart;
                if (tooLong) {  // whole, but too long: skip the rest of the record
                    m_skipping = !recordEnds;
                    m_overlong = index;
                    return Complete(index);
                }
                if (!recordEnds)
                    continue;
                if (m_skipping) {  // the end of an overlong record
                    m_skipping = false;
                    continue;
                }
                return Complete(m_limits.size());
            }
            // Not in the buffer: the field goes on. Only the terminator's first
            // bytes at the end of the buffer need a second look.
            size_t overlap = terminator.size() - 1;
            m_scan = std::max(m_fieldStart, m_length > overlap ? m_length - overlap : 0);
            if (!m_skipping && m_length - m_fieldStart > m_limits[m_index] + overlap) {
                m_skipping = true;
                m_overlong = m_index;
                return Complete(m_index);
            }
            if (!Fill()) {
                m_atEnd = true;
                if (m_index < last)  // fields are missing
                    return m_skipping || m_length > m_recordStart ? Result::kTruncated
                                                                  : Result::kEnd;
                if (m_skipping)  // the overlong record ends with the file
                    return Result::kEnd;
                // The last record may lack its row terminator.
                m_starts[last] = m_fieldStart;
                m_ends[last] = m_length;
                return Complete(m_limits.size());
            }
        }
    }

    const std::vector<std::pair<const char*, size_t>>& Fields() const { return m_spans; }
    size_t OverlongField() const { return m_overlong; }

private:
    static constexpr size_t kChunk = 1 << 20;

    static const char* Find(const char* from, const char* end, const std::string& what) {
        if (from >= end)
            return nullptr;
        if (what.size() == 1)
            return static_cast<const char*>(
                std::memchr(from, what[0], static_cast<size_t>(end - from)));
        return static_cast<const char*>(
            memmem(from, static_cast<size_t>(end - from), what.data(), what.size()));
    }

    Result Complete(size_t fields) {
        const char* base = m_buffer.get();
        for (size_t i = 0; i < fields; ++i)
            m_spans[i] = {base + m_starts[i], m_ends[i] - m_starts[i]};
        return fields == m_limits.size() ? Result::kRecord : Result::kOverlong;
    }

    // Drops what is no longer needed (the records handed out, or all of an
    // overlong record but the bytes still to be searched) and reads a chunk.
    // False at the end of the file.
    bool Fill() {
        m_deadline.Check();
        size_t keep = m_skipping ? m_scan : m_recordStart;
        if (keep > 0) {
            std::memmove(m_buffer.get(), m_buffer.get() + keep, m_length - keep);
            m_length -= keep;
            m_recordStart -= std::min(m_recordStart, keep);
            m_fieldStart -= std::min(m_fieldStart, keep);
            m_scan -= keep;
            for (size_t i = 0; i < m_index; ++i) {
                m_starts[i] -= std::min(m_starts[i], keep);
                m_ends[i] -= std::min(m_ends[i], keep);
            }
        }
        size_t room = std::min(kChunk, m_capacity - m_length);
        if (room == 0)  // cannot happen: a kept record is never longer than a valid one
            RaiseStatementError("Bulk load: the record buffer is full.");
        ssize_t n;
        do {
            n = read(m_fd, m_buffer.get() + m_length, room);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            int error = errno;
            RaiseStatementError("Cannot bulk load because the file \"" + m_path +
                                "\" is incomplete or could not be read. Operating system error "
                                "code " +
                                std::to_string(error) + "(" + std::strerror(error) + ").");
        }
        m_length += static_cast<size_t>(n);
        return n > 0;
    }

    int m_fd;
    const std::string& m_path;
    std::string m_field, m_row;
    std::vector<size_t> m_limits;
    const CDeadline& m_deadline;
    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity = 0;
    size_t m_length = 0;       // bytes in the buffer
    size_t m_recordStart = 0;  // where the current record starts
    size_t m_fieldStart = 0;   // where the current field starts
    size_t m_scan = 0;         // where the search for its terminator resumes
    size_t m_index = 0;        // the current field
    bool m_skipping = false;   // inside an overlong record
    bool m_atEnd = false;
    size_t m_overlong = 0;
    std::vector<size_t> m_starts, m_ends;
    std::vector<std::pair<const char*, size_t>> m_spans;
};

// The data file, opened without blocking: a FIFO, a device or a folder is
// refused before any read, as SQL Server refuses a file it cannot open.
class CDataFile {
public:
    explicit CDataFile(const std::string& path) : m_fd(OpenDataFile(path)) {
        if (m_fd < 0) {
            int error = errno;
            if (error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM ||
                error == ELOOP || error == ENAMETOOLONG)
                RaiseStatementError("Cannot bulk load. The file \"" + path +
                                    "\" does not exist or you don't have file access rights.");
            RaiseStatementError(
                CannotOpen(path, std::to_string(error) + "(" + std::strerror(error) + ")"));
        }
        struct stat info {};
        if (fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(m_fd);
            m_fd = -1;
            RaiseStatementError(CannotOpen(path, "5(Access is denied.)"));
        }
    }
    ~CDataFile() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CDataFile(const CDataFile&) = delete;
    CDataFile& operator=(const CDataFile&) = delete;
    int Fd() const { return m_fd; }

private:
    static std::string CannotOpen(const std::string& path, const std::string& system) {
        return "Cannot bulk load because the file \"" + path +
               "\" could not be opened. Operating system error code " + system + ".";
    }
    int m_fd;
};

std::string RowMessage(FieldError error, long row, size_t column, const ColumnDef& def,
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
    const TableDef* table = FindTable(s.table);
    if (!table)
        RaiseStatementError("Invalid object name '" + s.table + "'.");
    if (s.maxErrors < 0)
        RaiseStatementError("Invalid MAXERRORS value.");
    CDataFile file(s.path);

    // Every column but the identity, in table order.
    std::string columns, values;
    std::vector<size_t> limits;
    for (const ColumnDef& c : table->columns) {
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
            const ColumnDef& column = table->columns[i];
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
            const ColumnDef& column = table->columns[bad];
            error = column.type == ColumnType::VarChar || column.type == ColumnType::NVarChar
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
