// The BULK INSERT statement: tokens, options, terminators.
#include <strings.h>

#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>

#include "Platform/Ado/Embedded/BulkInsert.h"
#include "Platform/Ado/Embedded/Sqlite.h"

namespace Ado::Embedded {

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

}  // namespace Ado::Embedded
