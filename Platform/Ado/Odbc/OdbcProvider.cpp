// The ODBC provider: unixODBC on Linux, odbc32 on Windows.
//
//   Handles          move-only owners of ODBC handles
//   Diagnostics      SQLSTATE and text, and their HRESULT
//   Connecting       the three connection string forms
//   Fetching         column values into Variants
//   The session      statements and procedures
#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Platform/Ado/Provider.h"

namespace Ado {

namespace {

const char kSource[] = "Microsoft OLE DB Provider for ODBC Drivers";

// ------------------------------------------------------------ handles

class COdbcHandle {
public:
    COdbcHandle() = default;
    COdbcHandle(SQLSMALLINT type, SQLHANDLE handle) : m_type(type), m_handle(handle) {}
    COdbcHandle(COdbcHandle&& other) noexcept { *this = std::move(other); }
    COdbcHandle& operator=(COdbcHandle&& other) noexcept {
        if (this != &other) {
            Free();
            m_type = other.m_type;
            m_handle = other.m_handle;
            other.m_handle = SQL_NULL_HANDLE;
        }
        return *this;
    }
    COdbcHandle(const COdbcHandle&) = delete;
    COdbcHandle& operator=(const COdbcHandle&) = delete;
    ~COdbcHandle() { Free(); }

    SQLHANDLE Get() const { return m_handle; }
    SQLSMALLINT Type() const { return m_type; }
    void Free() noexcept {
        if (m_handle == SQL_NULL_HANDLE)
            return;
        if (m_type == SQL_HANDLE_DBC)
            SQLDisconnect(m_handle);
        SQLFreeHandle(m_type, m_handle);
        m_handle = SQL_NULL_HANDLE;
    }

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

// -------------------------------------------------------- diagnostics

struct Diagnostics {
    std::string state;  // SQLSTATE of the first record
    std::string text;   // every record, "[state] message"
};

Diagnostics ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    Diagnostics d;
    for (SQLSMALLINT record = 1; record <= 8; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[2048] = {};
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLGetDiagRec(type, handle, record, state, &native, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (d.state.empty())
            d.state = reinterpret_cast<char*>(state);
        if (!d.text.empty())
            d.text += "\n";
        d.text += '[';
        d.text += reinterpret_cast<char*>(state);
        d.text += "] ";
        d.text += reinterpret_cast<char*>(message);
    }
    return d;
}

bool IsTimeout(const std::string& state) {
    return state == "HYT00" || state == "HYT01" || state == "57014";
}

// The HRESULT of a failure: a lost connection (class 08, or a connection
// that reports itself dead) is E_FAIL, a time-out DB_E_ABORTLIMITREACHED,
// anything else DB_E_ERRORSINCOMMAND.
[[noreturn]] void Raise(const Diagnostics& d, SQLHDBC connection, const char* what) {
    HRESULT hr = kDbErrorsInCommand;
    if (d.state.compare(0, 2, "08") == 0) {
        hr = kEFail;
    } else if (IsTimeout(d.state)) {
        hr = kDbTimeout;
    } else if (connection != SQL_NULL_HANDLE) {
        SQLUINTEGER dead = SQL_CD_FALSE;
        if (SQL_SUCCEEDED(
                SQLGetConnectAttr(connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
            dead == SQL_CD_TRUE)
            hr = kEFail;
    }
    std::string text = d.text.empty() ? std::string(what) + " failed" : d.text;
    throw ComError(hr, text, kSource);
}

void Check(SQLRETURN rc, const COdbcHandle& handle, SQLHDBC connection, const char* what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return;
    Raise(ReadDiagnostics(handle.Type(), handle.Get()), connection, what);
}

COdbcHandle Allocate(SQLSMALLINT type, SQLHANDLE parent, SQLHDBC connection) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
    if (!SQL_SUCCEEDED(rc)) {
        SQLSMALLINT parentType = type == SQL_HANDLE_ENV   ? SQL_HANDLE_ENV
                                 : type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV
                                                          : SQL_HANDLE_DBC;
        if (parent == SQL_NULL_HANDLE)
            throw ComError(kEOutOfMemory, "SQLAllocHandle", kSource);
        Raise(ReadDiagnostics(parentType, parent), connection, "SQLAllocHandle");
    }
    return COdbcHandle(type, handle);
}

// ------------------------------------------------------- connecting

std::string Braced(const std::string& value) {
    return value.find_first_of(";{}") == std::string::npos ? value : "{" + value + "}";
}

// The ODBC driver for SQL Server that OLE DB strings are translated to.
std::string SqlServerDriver() {
    const char* driver = std::getenv("KESTRAFOLD_SQLSERVER_DRIVER");
    return driver && *driver ? driver : "ODBC Driver 18 for SQL Server";
}

// Translates an OLE DB connection string to ODBC. Returns false when the
// string names a provider that ODBC cannot stand in for.
bool TranslateOleDb(const std::string& text, std::string* odbc) {
    std::vector<ConnectionAttribute> attributes = ParseConnectionString(text);
    const std::string* provider = FindAttribute(attributes, "Provider");
    if (!provider) {
        *odbc = text;
        return true;
    }
    std::string name = *provider;
    auto startsWith = [&](const char* prefix) {
        return strncasecmp(name.c_str(), prefix, std::strlen(prefix)) == 0;
    };
    std::string out;
    if (startsWith("MSDASQL")) {
        for (const ConnectionAttribute& a : attributes)
            if (strcasecmp(a.key.c_str(), "Provider") != 0)
                out += a.key + "=" + Braced(a.value) + ";";
    } else if (startsWith("SQLOLEDB") || startsWith("SQLNCLI") || startsWith("MSOLEDBSQL")) {
        out = "Driver={" + SqlServerDriver() + "};";
        for (const ConnectionAttribute& a : attributes) {
            const char* key = a.key.c_str();
            if (strcasecmp(key, "Data Source") == 0 || strcasecmp(key, "Server") == 0)
                out += "Server=" + Braced(a.value) + ";";
            else if (strcasecmp(key, "Initial Catalog") == 0 || strcasecmp(key, "Database") == 0)
                out += "Database=" + Braced(a.value) + ";";
            else if (strcasecmp(key, "User ID") == 0 || strcasecmp(key, "UID") == 0)
                out += "UID=" + Braced(a.value) + ";";
            else if (strcasecmp(key, "Password") == 0 || strcasecmp(key, "PWD") == 0)
                out += "PWD=" + Braced(a.value) + ";";
            else if (strcasecmp(key, "Integrated Security") == 0)
                out += "Trusted_Connection=yes;";
        }
    } else {
        return false;
    }
    *odbc = out;
    return true;
}

// ---------------------------------------------------------- fetching

Decimal ParseDecimal(const std::string& text, bool* ok) {
    Decimal d;
    std::uint64_t mantissa = 0;
    int digits = 0;
    bool afterPoint = false;
    *ok = false;
    for (char c : text) {
        if (c == '-' && digits == 0) {
            d.sign = 0x80;
        } else if (c == '.') {
            afterPoint = true;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 19)
                return d;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            if (afterPoint)
                ++d.scale;
        } else if (c != '+' && c != ' ') {
            return d;
        }
    }
    d.lo64 = mantissa;
    *ok = digits > 0;
    return d;
}

Variant ReadColumn(const COdbcHandle& statement, SQLHDBC connection, SQLUSMALLINT column,
                   SQLSMALLINT sqlType) {
    SQLLEN indicator = 0;
    SQLHSTMT s = statement.Get();
    switch (sqlType) {
        case SQL_BIT: {
            unsigned char bit = 0;
            Check(SQLGetData(s, column, SQL_C_BIT, &bit, 0, &indicator), statement, connection,
                  "SQLGetData");
            return indicator == SQL_NULL_DATA ? Variant::Null() : Variant::Bool(bit != 0);
        }
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            // Always fetched whole: some drivers report 64-bit values as INTEGER.
            SQLBIGINT value = 0;
            Check(SQLGetData(s, column, SQL_C_SBIGINT, &value, 0, &indicator), statement,
                  connection, "SQLGetData");
            if (indicator == SQL_NULL_DATA)
                return Variant::Null();
            if (sqlType == SQL_TINYINT && value >= 0 && value <= 255) {
                Variant v;
                v.vt = VT_UI1;
                v.bVal = static_cast<std::uint8_t>(value);
                return v;
            }
            if (sqlType != SQL_BIGINT && value >= INT16_MIN && value <= INT16_MAX &&
                sqlType != SQL_INTEGER)
                return Variant::I2(static_cast<std::int16_t>(value));
            if (sqlType != SQL_BIGINT && value >= INT32_MIN && value <= INT32_MAX)
                return Variant::I4(static_cast<std::int32_t>(value));
            return Variant::I8(value);
        }
        case SQL_REAL: {
            float value = 0;
            Check(SQLGetData(s, column, SQL_C_FLOAT, &value, 0, &indicator), statement, connection,
                  "SQLGetData");
            return indicator == SQL_NULL_DATA ? Variant::Null() : Variant::R4(value);
        }
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            double value = 0;
            Check(SQLGetData(s, column, SQL_C_DOUBLE, &value, 0, &indicator), statement, connection,
                  "SQLGetData");
            return indicator == SQL_NULL_DATA ? Variant::Null() : Variant::R8(value);
        }
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            Check(SQLGetData(s, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator),
                  statement, connection, "SQLGetData");
            if (indicator == SQL_NULL_DATA)
                return Variant::Null();
            if (sqlType == SQL_TYPE_TIME)
                ts.year = 1899, ts.month = 12, ts.day = 30;
            return Variant::Date(OleDateFromParts(
                {ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ts.fraction / 1e9}));
        }
        default:
            break;
    }
    // Everything else as text, read in pieces.
    std::string text;
    char buffer[4096];
    for (;;) {
        SQLRETURN rc = SQLGetData(s, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        Check(rc, statement, connection, "SQLGetData");
        if (indicator == SQL_NULL_DATA)
            return Variant::Null();
        size_t got = (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer))
                         ? sizeof buffer - 1
                         : static_cast<size_t>(indicator);
        text.append(buffer, got);
        if (rc == SQL_SUCCESS)
            break;
    }
    if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
        bool ok = false;
        Decimal d = ParseDecimal(text, &ok);
        if (ok)
            return Variant::Dec(d);
        return Variant::R8(std::strtod(text.c_str(), nullptr));
    }
    return Variant::Text(std::move(text));
}

ResultSet FetchAll(const COdbcHandle& statement, SQLHDBC connection, SQLSMALLINT columns) {
    ResultSet rows;
    std::vector<SQLSMALLINT> types(columns);
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        SQLCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
        SQLULEN size = 0;
        Check(SQLDescribeCol(statement.Get(), c, name, sizeof name, &nameLength, &types[c - 1],
                             &size, &decimals, &nullable),
              statement, connection, "SQLDescribeCol");
        rows.names.emplace_back(reinterpret_cast<char*>(name));
    }
    for (;;) {
        SQLRETURN rc = SQLFetch(statement.Get());
        if (rc == SQL_NO_DATA)
            break;
        Check(rc, statement, connection, "SQLFetch");
        std::vector<Variant> row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c)
            row.push_back(ReadColumn(statement, connection, c, types[c - 1]));
        rows.rows.push_back(std::move(row));
    }
    return rows;
}

// ----------------------------------------------------------- session

class COdbcSession : public IProviderSession {
public:
    COdbcSession(const std::string& connectionString, const std::string& userId,
                 const std::string& password, long connectionTimeout) {
        m_env = Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE, SQL_NULL_HANDLE);
        Check(SQLSetEnvAttr(m_env.Get(), SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              m_env, SQL_NULL_HANDLE, "SQLSetEnvAttr");
        m_dbc = Allocate(SQL_HANDLE_DBC, m_env.Get(), SQL_NULL_HANDLE);
        if (connectionTimeout > 0)
            SQLSetConnectAttr(m_dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connectionTimeout)),
                              0);
        SQLRETURN rc;
        if (connectionString.find('=') == std::string::npos) {
            rc = SQLConnect(m_dbc.Get(), Chars(connectionString), SQL_NTS, Chars(userId), SQL_NTS,
                            Chars(password), SQL_NTS);
        } else {
            std::string odbc;
            if (!TranslateOleDb(connectionString, &odbc))
                throw ComError(kAdoProviderNotFound,
                               "Provider cannot be found. It may not be properly installed.",
                               "ADODB.Connection");
            std::vector<ConnectionAttribute> attributes = ParseConnectionString(odbc);
            if (!odbc.empty() && odbc.back() != ';')
                odbc += ";";
            if (!userId.empty() && !FindAttribute(attributes, "UID"))
                odbc += "UID=" + Braced(userId) + ";";
            if (!password.empty() && !FindAttribute(attributes, "PWD"))
                odbc += "PWD=" + Braced(password) + ";";
            rc = SQLDriverConnect(m_dbc.Get(), nullptr, Chars(odbc), SQL_NTS, nullptr, 0, nullptr,
                                  SQL_DRIVER_NOPROMPT);
        }
        if (!SQL_SUCCEEDED(rc)) {
            Diagnostics d = ReadDiagnostics(SQL_HANDLE_DBC, m_dbc.Get());
            // A connection that could not be made is a lost connection.
            throw ComError(kEFail, d.text.empty() ? "The connection could not be made." : d.text,
                           kSource);
        }
    }

    std::optional<ResultSet> Execute(const std::string& sql, long timeoutSeconds,
                                     long* affected) override {
        COdbcHandle statement = Prepare(timeoutSeconds);
        SQLRETURN rc = SQLExecDirect(statement.Get(), Chars(sql), SQL_NTS);
        Check(rc, statement, m_dbc.Get(), "SQLExecDirect");
        return Collect(statement, rc, affected);
    }

    void CallProcedure(const std::string& name, std::vector<ProcedureParameter>& params,
                       long timeoutSeconds, long* affected) override {
        COdbcHandle statement = Prepare(timeoutSeconds);
        std::string call = "{call " + name + "(";
        for (size_t i = 0; i < params.size(); ++i) call += i ? ",?" : "?";
        call += ")}";

        // Each parameter's buffer lives until the values have been read back.
        std::vector<std::string> buffers(params.size());
        std::vector<SQLLEN> lengths(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            ProcedureParameter& p = params[i];
            SQLSMALLINT io = p.direction == adParamOutput        ? SQL_PARAM_OUTPUT
                             : p.direction == adParamInputOutput ? SQL_PARAM_INPUT_OUTPUT
                                                                 : SQL_PARAM_INPUT;
            SQLSMALLINT sqlType = SqlTypeOf(p.type);
            long size = p.size > 0 ? p.size : 256;
            std::string input = p.value.vt == VT_BSTR ? p.value.bstrVal : TextOf(p.value);
            buffers[i] = input;
            buffers[i].resize(static_cast<size_t>(size) + 1 > input.size() + 1
                                  ? static_cast<size_t>(size) + 1
                                  : input.size() + 1,
                              '\0');
            lengths[i] = (io == SQL_PARAM_OUTPUT) ? 0
                                                  : (p.value.vt == VT_NULL || p.value.vt == VT_EMPTY
                                                         ? SQL_NULL_DATA
                                                         : static_cast<SQLLEN>(input.size()));
            Check(
                SQLBindParameter(statement.Get(), static_cast<SQLUSMALLINT>(i + 1), io, SQL_C_CHAR,
                                 sqlType, static_cast<SQLULEN>(size), 0, buffers[i].data(),
                                 static_cast<SQLLEN>(buffers[i].size()), &lengths[i]),
                statement, m_dbc.Get(), "SQLBindParameter");
        }
        SQLRETURN rc = SQLExecDirect(statement.Get(), Chars(call), SQL_NTS);
        Check(rc, statement, m_dbc.Get(), "SQLExecDirect");
        Collect(statement, rc, affected);  // output values arrive once results are consumed
        for (size_t i = 0; i < params.size(); ++i) {
            if (params[i].direction == adParamInput)
                continue;
            if (lengths[i] == SQL_NULL_DATA) {
                params[i].value = Variant::Null();
                continue;
            }
            size_t n = std::strlen(buffers[i].c_str());
            params[i].value = Variant::Text(buffers[i].substr(0, n));
        }
    }

private:
    static SQLCHAR* Chars(const std::string& s) {
        return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
    }

    static SQLSMALLINT SqlTypeOf(long adoType) {
        switch (adoType) {
            case adSmallInt:
                return SQL_SMALLINT;
            case adInteger:
                return SQL_INTEGER;
            case adBigInt:
                return SQL_BIGINT;
            case adDouble:
                return SQL_DOUBLE;
            case adChar:
                return SQL_CHAR;
            default:
                return SQL_VARCHAR;
        }
    }

    static std::string TextOf(const Variant& v) {
        switch (v.vt) {
            case VT_I2:
                return std::to_string(v.iVal);
            case VT_I4:
                return std::to_string(v.lVal);
            case VT_I8:
                return std::to_string(v.llVal);
            case VT_R8:
                return std::to_string(v.dblVal);
            default:
                return "";
        }
    }

    COdbcHandle Prepare(long timeoutSeconds) {
        COdbcHandle statement = Allocate(SQL_HANDLE_STMT, m_dbc.Get(), m_dbc.Get());
        if (timeoutSeconds > 0)
            SQLSetStmtAttr(statement.Get(), SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0);
        return statement;
    }

    // The first result's rows (if it has columns) and its row count; later
    // results are drained so that output parameters arrive.
    std::optional<ResultSet> Collect(const COdbcHandle& statement, SQLRETURN rc, long* affected) {
        std::optional<ResultSet> rows;
        SQLLEN count = -1;
        if (rc != SQL_NO_DATA) {
            SQLSMALLINT columns = 0;
            Check(SQLNumResultCols(statement.Get(), &columns), statement, m_dbc.Get(),
                  "SQLNumResultCols");
            if (columns > 0)
                rows = FetchAll(statement, m_dbc.Get(), columns);
            SQLRowCount(statement.Get(), &count);
        } else {
            count = 0;
        }
        for (;;) {
            SQLRETURN more = SQLMoreResults(statement.Get());
            if (more == SQL_NO_DATA)
                break;
            Check(more, statement, m_dbc.Get(), "SQLMoreResults");
        }
        if (affected)
            *affected = static_cast<long>(count);
        return rows;
    }

    COdbcHandle m_env, m_dbc;
};

}  // namespace

std::unique_ptr<IProviderSession> OpenOdbcSession(const std::string& connectionString,
                                                  const std::string& userId,
                                                  const std::string& password,
                                                  long connectionTimeout) {
    return std::make_unique<COdbcSession>(connectionString, userId, password, connectionTimeout);
}

}  // namespace Ado
