// The ADO object model that the database layer is written against: Connection,
// Recordset, Command and Parameter, field values as Variants with VT_ codes,
// and failures as ComError carrying an HRESULT, a description and a source.
// Every call either succeeds or throws ComError, as the COM wrappers do.
// Objects are held by counted references (std::shared_ptr).
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Ado {

// ------------------------------------------------------------- HRESULTs

using HRESULT = std::int32_t;

constexpr HRESULT Hr(std::uint32_t code) {
    return static_cast<HRESULT>(code);
}

constexpr HRESULT kSOk = 0;
constexpr HRESULT kEFail = Hr(0x80004005);                  // E_FAIL: the connection is lost
constexpr HRESULT kEPointer = Hr(0x80004003);               // E_POINTER: no object
constexpr HRESULT kEOutOfMemory = Hr(0x8007000E);           // E_OUTOFMEMORY
constexpr HRESULT kEInvalidArg = Hr(0x80070057);            // E_INVALIDARG
constexpr HRESULT kENotImpl = Hr(0x80004001);               // E_NOTIMPL
constexpr HRESULT kEUnexpected = Hr(0x8000FFFF);            // E_UNEXPECTED
constexpr HRESULT kDbErrorsInCommand = Hr(0x80040E14);      // DB_E_ERRORSINCOMMAND
constexpr HRESULT kDbTimeout = Hr(0x80040E31);              // DB_E_ABORTLIMITREACHED (time-out)
constexpr HRESULT kAdoItemNotFound = Hr(0x800A0CC1);        // 3265: no such field
constexpr HRESULT kAdoNoCurrentRecord = Hr(0x800A0BCD);     // 3021: BOF or EOF
constexpr HRESULT kAdoObjectClosed = Hr(0x800A0E78);        // 3704: object closed
constexpr HRESULT kAdoProviderNotFound = Hr(0x800A0E7A);    // 3706: unknown provider
constexpr HRESULT kAdoConnectionUnusable = Hr(0x800A0E7D);  // 3709
constexpr HRESULT kAdoInvalidArgument = Hr(0x800A0BB9);     // 3001

// ---------------------------------------------------- ADO enumerations

constexpr long adStateClosed = 0;
constexpr long adStateOpen = 1;
constexpr long adUseServer = 2;
constexpr long adUseClient = 3;
constexpr long adOpenForwardOnly = 0;
constexpr long adOpenKeyset = 1;
constexpr long adOpenDynamic = 2;
constexpr long adOpenStatic = 3;
constexpr long adLockOptimistic = 3;
constexpr long adCmdText = 1;
constexpr long adCmdTable = 2;
constexpr long adCmdStoredProc = 4;
constexpr long adCmdUnknown = 8;
constexpr long adExecuteNoRecords = 0x80;
constexpr long adParamInput = 1;
constexpr long adParamOutput = 2;
constexpr long adParamInputOutput = 3;
constexpr long adParamReturnValue = 4;
// Data types.
constexpr long adSmallInt = 2;
constexpr long adInteger = 3;
constexpr long adDouble = 5;
constexpr long adBigInt = 20;
constexpr long adChar = 129;
constexpr long adVarChar = 200;

// ------------------------------------------------------------- Variant

enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_DECIMAL = 14,
    VT_UI1 = 17,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_INT = 22,
};

constexpr std::int16_t kVariantTrue = -1;
constexpr std::int16_t kVariantFalse = 0;

struct Decimal {
    std::uint8_t scale = 0;
    std::uint8_t sign = 0;  // 0x80 when negative
    std::uint32_t hi32 = 0;
    std::uint64_t lo64 = 0;
};

// A VARIANT: a type code and its payload. Text (BSTR) is held as narrow text
// of the process code page. The payload union starts zeroed, so a reader of a
// wider member than was written sees zero bits above the value.
struct Variant {
    std::uint16_t vt = VT_EMPTY;
    union {
        std::int16_t iVal;
        std::int32_t lVal;
        std::int64_t llVal;
        float fltVal;
        double dblVal;
        double date;  // days since 1899-12-30
        std::uint8_t bVal;
        std::uint32_t ulVal;
        std::int16_t boolVal;
        std::int64_t cyVal;  // currency, scaled by 10,000
        std::uint64_t payload;
    };
    Decimal decVal;
    std::string bstrVal;

    Variant() : payload(0) {}
    static Variant Null();
    static Variant I2(std::int16_t v);
    static Variant I4(std::int32_t v);
    static Variant I8(std::int64_t v);
    static Variant R4(float v);
    static Variant R8(double v);
    static Variant Date(double v);
    static Variant Bool(bool v);
    static Variant Text(std::string v);
    static Variant Dec(Decimal v);
};

// OLE dates (VT_DATE): days since 1899-12-30; the fraction, taken as
// positive, is the time of day.
struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    double fraction = 0;  // of a second
};
double OleDateFromParts(const DateParts& parts);
// False outside 0100-01-01 to 9999-12-31, the range of an OLE date.
bool OleDateToParts(double date, DateParts* parts);

// ------------------------------------------------------------ ComError

class ComError : public std::runtime_error {
public:
    // `hasErrorInfo` false means the failing object gave no error information:
    // description and source are then absent.
    ComError(HRESULT hr, std::string description, std::string source, bool hasErrorInfo = true);

    HRESULT Error() const { return m_hr; }
    // Null when there is no error information.
    const char* Description() const { return m_hasInfo ? m_description.c_str() : nullptr; }
    const char* Source() const { return m_hasInfo ? m_source.c_str() : nullptr; }

    // The system's text for the HRESULT without its closing line break, or
    // "IDispatch error #n" for a dispatch code and "Unknown error 0x..."
    // otherwise. Produced on first request and kept.
    const char* ErrorMessage() const;

private:
    HRESULT m_hr;
    std::string m_description, m_source;
    bool m_hasInfo;
    mutable std::string m_message;
    mutable bool m_messageMade = false;
};

// The system message table's text for an HRESULT with its closing line
// break, or "" when the system has none.
std::string SystemMessageText(HRESULT hr);

class IProviderSession;
struct ResultSet;

// ---------------------------------------------------------- Connection

class Connection {
public:
    static std::shared_ptr<Connection> Create();
    ~Connection();

    // Opens the provider that the connection string's "Provider=" value names
    // in the registry of Provider.h ("Provider=Embedded;Data Source=<file>"
    // for the embedded database, "Provider=Scripted" for tests), anything
    // else through ODBC. Throws ComError when the connection cannot be made.
    void Open(const std::string& connectionString, const std::string& userId,
              const std::string& password, long options);
    // Throws kAdoObjectClosed when not open.
    void Close();
    long State() const;

    // Runs a statement. With adExecuteNoRecords (or for a statement without
    // rows) returns null; otherwise an open Recordset holding the rows.
    // *recordsAffected (when not null) receives the count as VT_I4.
    std::shared_ptr<class Recordset> Execute(const std::string& commandText,
                                             Variant* recordsAffected, long options);

    long CommandTimeout() const { return m_commandTimeout; }
    void SetCommandTimeout(long seconds);
    long ConnectionTimeout() const { return m_connectionTimeout; }
    void SetConnectionTimeout(long seconds);
    long CursorLocation() const { return m_cursorLocation; }
    void SetCursorLocation(long location);

    // The open session; throws kAdoConnectionUnusable when closed.
    IProviderSession& Session();

private:
    Connection() = default;
    std::unique_ptr<IProviderSession> m_session;
    long m_commandTimeout = 30;
    long m_connectionTimeout = 15;
    long m_cursorLocation = adUseServer;
};

// ----------------------------------------------------------- Recordset

class Recordset {
public:
    static std::shared_ptr<Recordset> Create();

    void Open(const std::string& source, const std::shared_ptr<Connection>& connection,
              long cursorType, long lockType, long options);
    void Close();  // throws kAdoObjectClosed when not open
    long State() const { return m_rows ? adStateOpen : adStateClosed; }

    long CursorType() const { return m_cursorType; }
    void SetCursorType(long type) { m_cursorType = type; }
    long CursorLocation() const { return m_cursorLocation; }
    void SetCursorLocation(long location) { m_cursorLocation = location; }
    void SetSort(const std::string& sort);
    void CancelUpdate();

    // The number of rows of a client cursor, -1 for a forward-only one.
    long RecordCount() const;
    bool IsEOF() const;
    void MoveFirst();
    void MoveNext();

    // The value of a field of the current row, addressed by a VT_BSTR name or
    // a VT_I2/VT_I4 zero-based index. Unknown field: kAdoItemNotFound; no
    // current row: kAdoNoCurrentRecord; closed: kAdoObjectClosed.
    Variant FieldValue(const Variant& nameOrIndex) const;

    // Makes the recordset an open one over rows a provider produced.
    void Attach(std::unique_ptr<ResultSet> rows, long cursorType);

private:
    Recordset() = default;
    const ResultSet& Rows() const;
    std::unique_ptr<ResultSet> m_rows;
    std::size_t m_position = 0;
    long m_cursorType = adOpenForwardOnly;
    long m_cursorLocation = adUseServer;
};

// ----------------------------------------------------------- Parameter

class Parameter {
public:
    static std::shared_ptr<Parameter> Create();

    std::string Name() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    long Type() const { return m_type; }
    void SetType(long type) { m_type = type; }
    long Size() const { return m_size; }
    void SetSize(long size);
    long Direction() const { return m_direction; }
    void SetDirection(long direction);
    const Variant& Value() const { return m_value; }
    void SetValue(const Variant& value) { m_value = value; }

private:
    Parameter() = default;
    std::string m_name;
    long m_type = 0;
    long m_size = 0;
    long m_direction = adParamInput;
    Variant m_value;
};

// ------------------------------------------------------------- Command

class Command {
public:
    static std::shared_ptr<Command> Create();

    std::string CommandText() const { return m_text; }
    void SetCommandText(const std::string& text) { m_text = text; }
    long CommandType() const { return m_type; }
    void SetCommandType(long type) { m_type = type; }
    long CommandTimeout() const { return m_timeout; }
    void SetCommandTimeout(long seconds);
    void SetActiveConnection(const std::shared_ptr<Connection>& connection);
    void AppendParameter(const std::shared_ptr<Parameter>& parameter);

    // Runs the command as `options` says (adCmdStoredProc calls a procedure
    // and fills its output parameters; adCmdText runs the text). Returns the
    // rows it produced, or null.
    std::shared_ptr<Recordset> Execute(Variant* recordsAffected, long options);

private:
    Command() = default;
    std::string m_text;
    long m_type = adCmdUnknown;
    long m_timeout = 30;
    std::shared_ptr<Connection> m_connection;
    std::vector<std::shared_ptr<Parameter>> m_parameters;
};

}  // namespace Ado
