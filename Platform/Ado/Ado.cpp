// The object model.
//
//   Variant and ComError     factories, the error's message text
//   Connection strings       parsing
//   Providers                the registry, keyed by "Provider="
//   Connection, Recordset, Parameter, Command
#include "Platform/Ado/Ado.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <mutex>

#include "Platform/Ado/Provider.h"

namespace Ado {

// ------------------------------------------------- Variant and ComError

Variant Variant::Null() {
    Variant v;
    v.vt = VT_NULL;
    return v;
}
Variant Variant::I2(std::int16_t x) {
    Variant v;
    v.vt = VT_I2;
    v.iVal = x;
    return v;
}
Variant Variant::I4(std::int32_t x) {
    Variant v;
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}
Variant Variant::I8(std::int64_t x) {
    Variant v;
    v.vt = VT_I8;
    v.llVal = x;
    return v;
}
Variant Variant::R4(float x) {
    Variant v;
    v.vt = VT_R4;
    v.fltVal = x;
    return v;
}
Variant Variant::R8(double x) {
    Variant v;
    v.vt = VT_R8;
    v.dblVal = x;
    return v;
}
Variant Variant::Date(double x) {
    Variant v;
    v.vt = VT_DATE;
    v.date = x;
    return v;
}
Variant Variant::Bool(bool x) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = x ? kVariantTrue : kVariantFalse;
    return v;
}
Variant Variant::Text(std::string x) {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = std::move(x);
    return v;
}
Variant Variant::Dec(Decimal x) {
    Variant v;
    v.vt = VT_DECIMAL;
    v.decVal = x;
    return v;
}

double OleDateFromParts(const DateParts& p) {
    // Days from civil (proleptic Gregorian), counted from 1970-01-01.
    int y = p.year - (p.month <= 2);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (p.month + (p.month > 2 ? -3 : 9)) + 2) / 5 + p.day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long days = static_cast<long>(era) * 146097 + doe - 719468;
    double serial = static_cast<double>(days + 25569);
    double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second + p.fraction) / 86400.0;
    return serial >= 0 ? serial + time : serial - time;
}

bool OleDateToParts(double date, DateParts* parts) {
    if (!(date >= -657434.0 && date < 2958466.0))
        return false;
    double whole = std::trunc(date);
    long day = static_cast<long>(whole);
    long seconds = std::lround(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += date < 0 ? -1 : 1;
    }
    long z = day - 25569 + 719468;  // days since 0000-03-01
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    parts->day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    parts->month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    parts->year = static_cast<int>(yoe + era * 400 + (parts->month <= 2));
    parts->hour = static_cast<int>(seconds / 3600);
    parts->minute = static_cast<int>(seconds / 60 % 60);
    parts->second = static_cast<int>(seconds % 60);
    parts->fraction = 0;
    return true;
}

ComError::ComError(HRESULT hr, std::string description, std::string source, bool hasErrorInfo)
    : std::runtime_error(description),
      m_hr(hr),
      m_description(std::move(description)),
      m_source(std::move(source)),
      m_hasInfo(hasErrorInfo) {}

// The system message table, as far as the layer meets it.
std::string SystemMessageText(HRESULT hr) {
    struct Entry {
        HRESULT hr;
        const char* text;
    };
    static const Entry kTable[] = {
        {kSOk, "The operation completed successfully.\r\n"},
        {kEFail, "Unspecified error\r\n"},
        {kEPointer, "Invalid pointer\r\n"},
        {kEOutOfMemory,
         "Not enough memory resources are available to complete this operation.\r\n"},
        {kEInvalidArg, "The parameter is incorrect.\r\n"},
        {kENotImpl, "Not implemented\r\n"},
        {kEUnexpected, "Catastrophic failure\r\n"},
    };
    for (const Entry& e : kTable)
        if (e.hr == hr)
            return e.text;
    return "";
}

const char* ComError::ErrorMessage() const {
    if (m_messageMade)
        return m_message.c_str();
    m_messageMade = true;
    m_message = SystemMessageText(m_hr);
    if (!m_message.empty()) {
        if (m_message.size() > 1 && m_message.back() == '\n') {
            m_message.pop_back();
            if (!m_message.empty() && m_message.back() == '\r')
                m_message.pop_back();
        }
        return m_message.c_str();
    }
    char buffer[32];
    auto code = static_cast<std::uint32_t>(m_hr);
    std::uint32_t dispatch = code >= 0x80040200u && code <= 0x8004FFFFu ? code - 0x80040200u : 0;
    if (dispatch != 0)
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(dispatch));
    else
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(code));
    m_message = buffer;
    return m_message.c_str();
}

// ------------------------------------------------- connection strings

std::vector<ConnectionAttribute> ParseConnectionString(const std::string& text) {
    std::vector<ConnectionAttribute> attributes;
    auto trim = [](const std::string& s) {
        size_t b = s.find_first_not_of(" \t");
        if (b == std::string::npos)
            return std::string();
        return s.substr(b, s.find_last_not_of(" \t") - b + 1);
    };
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eq = text.find('=', pos);
        size_t semi = text.find(';', pos);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            if (semi == std::string::npos)
                break;
            pos = semi + 1;  // an item without '=' is ignored
            continue;
        }
        std::string key = trim(text.substr(pos, eq - pos));
        size_t valueStart = text.find_first_not_of(" \t", eq + 1);
        std::string value;
        if (valueStart != std::string::npos && text[valueStart] == '{') {
            size_t close = text.find('}', valueStart);
            if (close == std::string::npos)
                close = text.size();
            value = text.substr(valueStart + 1, close - valueStart - 1);
            semi = text.find(';', close);
        } else {
            semi = text.find(';', eq + 1);
            value = trim(text.substr(eq + 1, semi == std::string::npos ? semi : semi - eq - 1));
        }
        if (!key.empty())
            attributes.push_back({key, value});
        if (semi == std::string::npos)
            break;
        pos = semi + 1;
    }
    return attributes;
}

const std::string* FindAttribute(const std::vector<ConnectionAttribute>& attributes,
                                 const std::string& key) {
    for (const ConnectionAttribute& a : attributes)
        if (strcasecmp(a.key.c_str(), key.c_str()) == 0)
            return &a.value;
    return nullptr;
}

namespace {

[[noreturn]] void Raise(HRESULT hr, const std::string& description) {
    throw ComError(hr, description, "ADODB");
}

}  // namespace

// ------------------------------------------------------------- providers

namespace {

struct ProviderEntry {
    std::string name;
    ProviderFactory factory;
};

class CProviderRegistry {
public:
    CProviderRegistry() : m_entries{{"Embedded", OpenEmbeddedSession}} {}

    void Set(const std::string& name, ProviderFactory factory) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (ProviderEntry& e : m_entries)
            if (strcasecmp(e.name.c_str(), name.c_str()) == 0) {
                e.factory = std::move(factory);
                return;
            }
        m_entries.push_back({name, std::move(factory)});
    }

    void Remove(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_lock);
        std::erase_if(m_entries, [&](const ProviderEntry& e) {
            return strcasecmp(e.name.c_str(), name.c_str()) == 0;
        });
    }

    // The factory registered under `name`, or an empty one.
    ProviderFactory Find(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const ProviderEntry& e : m_entries)
            if (strcasecmp(e.name.c_str(), name.c_str()) == 0)
                return e.factory;
        return nullptr;
    }

private:
    std::mutex m_lock;
    std::vector<ProviderEntry> m_entries;
};

// Built on first use, so that static initialisers elsewhere may open connections.
CProviderRegistry& Providers() {
    static CProviderRegistry registry;
    return registry;
}

}  // namespace

void RegisterProvider(const std::string& name, ProviderFactory factory) {
    if (!factory)
        Raise(kEPointer, "No provider factory.");
    Providers().Set(name, std::move(factory));
}

void UnregisterProvider(const std::string& name) {
    Providers().Remove(name);
}

ProviderFactory ChooseProvider(const std::string& connectionString) {
    // A string without '=' is a bare data source name.
    if (connectionString.find('=') != std::string::npos) {
        std::vector<ConnectionAttribute> attributes = ParseConnectionString(connectionString);
        if (const std::string* provider = FindAttribute(attributes, "Provider"))
            if (ProviderFactory factory = Providers().Find(*provider))
                return factory;
    }
    return OpenOdbcSession;
}

// ------------------------------------------------------------ Connection

std::shared_ptr<Connection> Connection::Create() {
    return std::shared_ptr<Connection>(new Connection());
}

Connection::~Connection() = default;

void Connection::Open(const std::string& connectionString, const std::string& userId,
                      const std::string& password, long) {
    if (m_session)
        Raise(Hr(0x800A0E79), "Operation is not allowed when the object is open.");
    m_session =
        ChooseProvider(connectionString)(connectionString, userId, password, m_connectionTimeout);
}

void Connection::Close() {
    if (!m_session)
        Raise(kAdoObjectClosed, "Operation is not allowed when the object is closed.");
    m_session.reset();
}

long Connection::State() const {
    return m_session ? adStateOpen : adStateClosed;
}

IProviderSession& Connection::Session() {
    if (!m_session)
        Raise(kAdoConnectionUnusable,
              "The connection cannot be used to perform this operation. It is either closed or "
              "invalid in this context.");
    return *m_session;
}

std::shared_ptr<Recordset> Connection::Execute(const std::string& commandText,
                                               Variant* recordsAffected, long options) {
    long affected = -1;
    std::optional<ResultSet> rows = Session().Execute(commandText, m_commandTimeout, &affected);
    if (recordsAffected)
        *recordsAffected = Variant::I4(static_cast<std::int32_t>(affected));
    if ((options & adExecuteNoRecords) || !rows)
        return nullptr;
    std::shared_ptr<Recordset> recordset = Recordset::Create();
    recordset->Attach(std::make_unique<ResultSet>(std::move(*rows)), adOpenStatic);
    return recordset;
}

void Connection::SetCommandTimeout(long seconds) {
    if (seconds < 0)
        Raise(kAdoInvalidArgument, "CommandTimeout must not be negative.");
    m_commandTimeout = seconds;
}

void Connection::SetConnectionTimeout(long seconds) {
    if (seconds < 0)
        Raise(kAdoInvalidArgument, "ConnectionTimeout must not be negative.");
    if (m_session)
        Raise(Hr(0x800A0E79), "Operation is not allowed when the object is open.");
    m_connectionTimeout = seconds;
}

void Connection::SetCursorLocation(long location) {
    if (location != adUseServer && location != adUseClient)
        Raise(kAdoInvalidArgument, "Invalid cursor location.");
    m_cursorLocation = location;
}

// ------------------------------------------------------------- Recordset

std::shared_ptr<Recordset> Recordset::Create() {
    return std::shared_ptr<Recordset>(new Recordset());
}

void Recordset::Open(const std::string& source, const std::shared_ptr<Connection>& connection,
                     long cursorType, long, long options) {
    if (m_rows)
        Raise(Hr(0x800A0E79), "Operation is not allowed when the object is open.");
    if (!connection)
        Raise(kAdoConnectionUnusable, "The connection cannot be used.");
    std::string sql = source;
    if (options & adCmdTable)
        sql = "SELECT * FROM " + source;
    long affected = -1;
    std::optional<ResultSet> rows =
        connection->Session().Execute(sql, connection->CommandTimeout(), &affected);
    // A statement without rows runs and leaves the recordset closed.
    if (rows)
        Attach(std::make_unique<ResultSet>(std::move(*rows)), cursorType);
}

void Recordset::Attach(std::unique_ptr<ResultSet> rows, long cursorType) {
    m_rows = std::move(rows);
    m_position = 0;
    m_cursorType = cursorType;
}

const ResultSet& Recordset::Rows() const {
    if (!m_rows)
        Raise(kAdoObjectClosed, "Operation is not allowed when the object is closed.");
    return *m_rows;
}

void Recordset::Close() {
    Rows();
    m_rows.reset();
}

void Recordset::SetSort(const std::string&) {}

void Recordset::CancelUpdate() {
    Rows();
}

long Recordset::RecordCount() const {
    const ResultSet& rows = Rows();
    if (m_cursorType == adOpenForwardOnly && m_cursorLocation != adUseClient)
        return -1;
    return static_cast<long>(rows.rows.size());
}

bool Recordset::IsEOF() const {
    return m_position >= Rows().rows.size();
}

void Recordset::MoveFirst() {
    Rows();
    m_position = 0;
}

void Recordset::MoveNext() {
    if (IsEOF())
        Raise(kAdoNoCurrentRecord, "Either BOF or EOF is True.");
    ++m_position;
}

Variant Recordset::FieldValue(const Variant& nameOrIndex) const {
    const ResultSet& rows = Rows();
    long index = -1;
    if (nameOrIndex.vt == VT_BSTR) {
        for (size_t i = 0; i < rows.names.size(); ++i)
            if (strcasecmp(rows.names[i].c_str(), nameOrIndex.bstrVal.c_str()) == 0) {
                index = static_cast<long>(i);
                break;
            }
    } else if (nameOrIndex.vt == VT_I2) {
        index = nameOrIndex.iVal;
    } else if (nameOrIndex.vt == VT_I4) {
        index = nameOrIndex.lVal;
    }
    if (index < 0 || index >= static_cast<long>(rows.names.size()))
        Raise(kAdoItemNotFound,
              "Item cannot be found in the collection corresponding to the "
              "requested name or ordinal.");
    if (m_position >= rows.rows.size())
        Raise(kAdoNoCurrentRecord,
              "Either BOF or EOF is True, or the current record has been "
              "deleted.");
    return rows.rows[m_position][static_cast<size_t>(index)];
}

// ------------------------------------------------------------- Parameter

std::shared_ptr<Parameter> Parameter::Create() {
    return std::shared_ptr<Parameter>(new Parameter());
}

void Parameter::SetSize(long size) {
    if (size < 0)
        Raise(kAdoInvalidArgument, "Parameter size must not be negative.");
    m_size = size;
}

void Parameter::SetDirection(long direction) {
    if (direction < 0 || direction > adParamReturnValue)
        Raise(kAdoInvalidArgument, "Invalid parameter direction.");
    m_direction = direction;
}

// --------------------------------------------------------------- Command

std::shared_ptr<Command> Command::Create() {
    return std::shared_ptr<Command>(new Command());
}

void Command::SetCommandTimeout(long seconds) {
    if (seconds < 0)
        Raise(kAdoInvalidArgument, "CommandTimeout must not be negative.");
    m_timeout = seconds;
}

void Command::SetActiveConnection(const std::shared_ptr<Connection>& connection) {
    m_connection = connection;
}

void Command::AppendParameter(const std::shared_ptr<Parameter>& parameter) {
    if (!parameter)
        Raise(kEPointer, "No parameter.");
    m_parameters.push_back(parameter);
}

std::shared_ptr<Recordset> Command::Execute(Variant* recordsAffected, long options) {
    if (!m_connection)
        Raise(kAdoConnectionUnusable, "The command has no connection.");
    long affected = -1;
    if (options & adCmdStoredProc) {
        std::vector<ProcedureParameter> params;
        for (const auto& p : m_parameters)
            params.push_back({p->Name(), p->Type(), p->Size(), p->Direction(), p->Value()});
        m_connection->Session().CallProcedure(m_text, params, m_timeout, &affected);
        for (size_t i = 0; i < params.size(); ++i)
            if (params[i].direction != adParamInput)
                m_parameters[i]->SetValue(params[i].value);
        if (recordsAffected)
            *recordsAffected = Variant::I4(static_cast<std::int32_t>(affected));
        return nullptr;
    }
    std::optional<ResultSet> rows = m_connection->Session().Execute(m_text, m_timeout, &affected);
    if (recordsAffected)
        *recordsAffected = Variant::I4(static_cast<std::int32_t>(affected));
    if (!rows)
        return nullptr;
    std::shared_ptr<Recordset> recordset = Recordset::Create();
    recordset->Attach(std::make_unique<ResultSet>(std::move(*rows)), adOpenStatic);
    return recordset;
}

}  // namespace Ado
