// BULK INSERT.
//
//   Statement parsing    tokens, options, terminators
//   Field conversion     numbers, dates, text in the code page
//   Record reading       the byte stream in chunks, records across chunks
//   The load             one transaction, errors counted against MAXERRORS
#include "Platform/Ado/Embedded/BulkInsert.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
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
                out += row ? "\r\n" : "\n";
                break;  // a row's \n is CR LF
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
    CTokenizer tokens(sql);
    return Is(tokens.Next(), "BULK") && Is(tokens.Next(), "INSERT");
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
        auto number = [&] {
            if (value.kind != Token::kNumber)
                SyntaxError(value);
            return std::stol(value.text);
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

bool ParseInteger(const char* p, size_t n, long long low, long long high, long long* value) {
    Trim(p, n);
    if (n == 0)
        return false;
    bool negative = *p == '-';
    size_t i = (*p == '-' || *p == '+') ? 1 : 0;
    if (i == n || n - i > 19)
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

// Reads exactly `count` digits at p[at].
bool Digits(const char* p, size_t n, size_t at, size_t count, int* value) {
    if (at + count > n)
        return false;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        unsigned digit = static_cast<unsigned char>(p[i]) - '0';
        if (digit > 9)
            return false;
        v = v * 10 + static_cast<int>(digit);
    }
    *value = v;
    return true;
}

// "YYYY/MM/DD" or "YYYY-MM-DD", with an optional " hh:mm[:ss[.f[f[f]]]]",
// into "YYYY-MM-DD hh:mm:ss.fff", within SQL Server's DATETIME range. Writes
// into `out`, which holds 24 bytes.
bool ParseDateTime(const char* p, size_t n, char* out) {
    Trim(p, n);
    int y, mo, d, h = 0, mi = 0, se = 0, ms = 0;
    if (n < 10 || !Digits(p, n, 0, 4, &y) || (p[4] != '/' && p[4] != '-') || p[7] != p[4] ||
        !Digits(p, n, 5, 2, &mo) || !Digits(p, n, 8, 2, &d))
        return false;
    size_t at = 10;
    if (at < n) {
        if (p[at] != ' ' || !Digits(p, n, at + 1, 2, &h) || at + 3 >= n || p[at + 3] != ':' ||
            !Digits(p, n, at + 4, 2, &mi))
            return false;
        at += 6;
        if (at < n) {
            if (p[at] != ':' || !Digits(p, n, at + 1, 2, &se))
                return false;
            at += 3;
            if (at < n) {
                size_t digits = n - at - 1;
                if (p[at] != '.' || digits < 1 || digits > 3 || !Digits(p, n, at + 1, digits, &ms))
                    return false;
                for (size_t k = digits; k < 3; ++k) ms *= 10;
            }
        }
    }
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1753 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] + (mo == 2 && leap))
        return false;
    if (h > 23 || mi > 59 || se > 59)
        return false;
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

// Reads a file in chunks and hands out records: N-1 fields ending at the field
// terminator and the last one at the row terminator. Memory stays at about
// one chunk plus the longest record.
class CRecordReader {
public:
    CRecordReader(int fd, const std::string& fieldTerminator, const std::string& rowTerminator,
                  size_t fields)
        : m_fd(fd), m_field(fieldTerminator), m_row(rowTerminator), m_spans(fields) {}

    enum Result { kRecord, kEnd, kTruncated };

    // The next record's fields as spans of the buffer, valid until the next
    // call. kTruncated: the file ended inside a record.
    Result Next() {
        for (;;) {
            Result r = TryParse();
            if (r != kNeedMore)
                return r;
            if (!Fill()) {
                if (m_begin == m_data.size())
                    return kEnd;
                m_eof = true;
                r = TryParse();
                if (r != kNeedMore)
                    return r;
                m_begin = m_data.size();
                return kTruncated;
            }
        }
    }

    const std::vector<std::pair<const char*, size_t>>& Fields() const { return m_spans; }
    int Error() const { return m_error; }

private:
    static constexpr Result kNeedMore = static_cast<Result>(-1);

    static const char* Find(const char* from, const char* end, const std::string& what) {
        if (what.size() == 1)
            return static_cast<const char*>(
                std::memchr(from, what[0], static_cast<size_t>(end - from)));
        return static_cast<const char*>(
            memmem(from, static_cast<size_t>(end - from), what.data(), what.size()));
    }

    Result TryParse() {
        const char* base = m_data.data();
        const char* p = base + m_begin;
        const char* end = base + m_data.size();
        if (p == end)
            return m_eof ? kEnd : kNeedMore;
        for (size_t i = 0; i + 1 < m_spans.size(); ++i) {
            const char* at = Find(p, end, m_field);
            if (!at)
                return kNeedMore;
            m_spans[i] = {p, static_cast<size_t>(at - p)};
            p = at + m_field.size();
        }
        const char* at = Find(p, end, m_row);
        if (!at) {
            if (!m_eof)
                return kNeedMore;
            at = end;  // the last record may lack its terminator
            m_spans.back() = {p, static_cast<size_t>(at - p)};
            m_begin = m_data.size();
            return kRecord;
        }
        m_spans.back() = {p, static_cast<size_t>(at - p)};
        m_begin = static_cast<size_t>(at - base) + m_row.size();
        return kRecord;
    }

    bool Fill() {
        if (m_eof)
            return false;
        m_data.erase(0, m_begin);  // keep only the unfinished record
        m_begin = 0;
        size_t old = m_data.size();
        m_data.resize(old + kChunk);
        ssize_t n;
        do {
            n = read(m_fd, m_data.data() + old, kChunk);
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            m_error = errno;
        m_data.resize(old + static_cast<size_t>(n > 0 ? n : 0));
        if (n <= 0)
            m_eof = true;
        return n > 0;
    }

    static constexpr size_t kChunk = 1 << 20;
    int m_fd;
    std::string m_field, m_row;
    std::string m_data;
    size_t m_begin = 0;
    bool m_eof = false;
    int m_error = 0;
    std::vector<std::pair<const char*, size_t>> m_spans;
};

class CFile {
public:
    explicit CFile(const std::string& path) : m_fd(OpenDataFile(path)) {}
    ~CFile() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    int Fd() const { return m_fd; }

private:
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

}  // namespace

// --------------------------------------------------------------- the load

long RunBulkInsert(sqlite3* db, const BulkInsertStatement& s) {
    const TableDef* table = FindTable(s.table);
    if (!table)
        RaiseStatementError("Invalid object name '" + s.table + "'.");
    CFile file(s.path);
    if (file.Fd() < 0)
        RaiseStatementError("Cannot bulk load. The file \"" + s.path +
                            "\" does not exist or you don't have file access rights.");
    if (s.maxErrors < 0)
        RaiseStatementError("Invalid MAXERRORS value.");

    // Every column but the identity, in table order.
    std::string columns, values;
    for (const ColumnDef& c : table->columns) {
        if (c.identity)
            continue;
        columns += std::string(columns.empty() ? "" : ", ") + "[" + c.name + "]";
        values += values.empty() ? "?" : ", ?";
    }
    CTransaction transaction(db);
    CStatement insert(db, std::string("INSERT INTO [") + table->name + "] (" + columns +
                              ") VALUES (" + values + ")");
    CRecordReader reader(file.Fd(), s.fieldTerminator, s.rowTerminator, table->columns.size());
    std::vector<std::string> scratch(table->columns.size());
    std::vector<std::string> messages;
    long errors = 0, loaded = 0, row = 0;

    auto fail = [&](std::string message) {
        messages.push_back(std::move(message));
        if (++errors <= s.maxErrors)
            return;
        std::string text = "Cannot bulk load because the maximum number of errors (" +
                           std::to_string(s.maxErrors) + ") was exceeded.";
        for (const std::string& m : messages) text += "\n" + m;
        RaiseStatementError(text);
    };

    for (;;) {
        CRecordReader::Result r = reader.Next();
        if (reader.Error() != 0)
            throw ComError(kEFail,
                           "Cannot bulk load. The file \"" + s.path +
                               "\" could not be read: " + std::strerror(reader.Error()),
                           kSource);
        if (r == CRecordReader::kEnd)
            break;
        ++row;
        if (r == CRecordReader::kTruncated) {
            fail("Bulk load: An unexpected end of file was encountered in the data file (row " +
                 std::to_string(row) + ").");
            break;
        }
        if (row < s.firstRow)
            continue;
        const auto& fields = reader.Fields();
        FieldError error = FieldError::kNone;
        size_t bad = 0;
        int parameter = 0;
        for (size_t i = 0; i < fields.size() && error == FieldError::kNone; ++i) {
            const ColumnDef& column = table->columns[i];
            if (column.identity)
                continue;  // present in the file, assigned by the table
            error = BindField(insert.Get(), ++parameter, column, fields[i].first, fields[i].second,
                              s.codePage, scratch[i]);
            bad = i;
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
    transaction.Commit();
    return loaded;
}

}  // namespace Ado::Embedded
