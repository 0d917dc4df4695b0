// The object model: Connection, Recordset, Parameter, Command.
#include "Platform/Ado/Ado.h"

#include <strings.h>

#include "Platform/Ado/Provider.h"

namespace Ado {

namespace {

[[noreturn]] void Raise(HRESULT hr, const std::string& description) {
    throw ComError(hr, description, "ADODB");
}

}  // namespace

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
