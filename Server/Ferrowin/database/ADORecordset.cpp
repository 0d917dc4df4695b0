#include "Server/Ferrowin/database/ADORecordset.h"

#include <strings.h>

#include <mutex>
#include <type_traits>

#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/VariantText.h"

using namespace Ado;

namespace {
Variant Name(const std::string& name) {
    return Variant::Text(name);
}
Variant Index(int index) {
    return Variant::I2(static_cast<std::int16_t>(index));
}

template <typename T>
T& Require(const std::shared_ptr<T>& object) {
    if (!object)
        throw ComError(kEPointer, "", "", false);
    return *object;
}
}  // namespace

CADORecordset::CADORecordset() : m_recordset(Recordset::Create()), m_command(Command::Create()) {}

CADORecordset::CADORecordset(CADODatabase* database) : CADORecordset() {
    if (database)
        m_connection = database->GetConnection();
    m_database = database;
}

CADORecordset::~CADORecordset() {
    try {
        Close();
    } catch (const ComError&) {
        // Nothing can be reported from a destructor.
    }
}

int CADORecordset::Open(const std::shared_ptr<Connection>& connection, const std::string& source,
                        int option) {
    try {
        if (IsOpen())
            Close();
        if (!source.empty())
            m_query = source;
        if (!m_connection)
            m_connection = connection;
        m_query.erase(0, m_query.find_first_not_of(" \t\r\n"));
        bool isQuery = option == Unspecified && strncasecmp(m_query.c_str(), "select ", 7) == 0;

        std::lock_guard<std::mutex> lock(StatementLock());
        Require(m_recordset).SetCursorType(adOpenStatic);
        Require(m_recordset).SetCursorLocation(adUseClient);
        if (isQuery || option == Query || option == Unspecified) {
            m_recordset->Open(m_query, connection, adOpenStatic, adLockOptimistic, adCmdUnknown);
        } else if (option == Table) {
            m_recordset->Open(m_query, connection, adOpenKeyset, adLockOptimistic, adCmdTable);
        } else if (option == StoredProc) {
            Require(m_command).SetActiveConnection(connection);
            m_command->SetCommandText(m_query);
            m_command->SetCommandType(adCmdStoredProc);
            Require(m_connection).SetCursorLocation(adUseClient);
            m_recordset = m_command->Execute(nullptr, adCmdText);
        } else {
            return 0;
        }
        return m_recordset ? 1 : 0;
    } catch (const ComError& error) {
        RecordComError(error);
        if (m_database)
            m_database->ReconnectAfter(CADODatabase::Operation::RecordsetOpen, error.Error());
        return 0;
    }
}

int CADORecordset::Open(const std::string& source, int option) {
    return Open(m_connection, source, option);
}

int CADORecordset::OpenTable(const std::string& table) {
    return Open(m_connection, table, Table);
}

int CADORecordset::IsOpen() {
    return m_recordset && m_connection && m_connection->State() != adStateClosed &&
                   m_recordset->State() != adStateClosed
               ? 1
               : 0;
}

void CADORecordset::Close() {
    if (!IsOpen())
        return;
    if (m_editMode != 0) {
        m_recordset->CancelUpdate();
        m_editMode = 0;
    }
    m_recordset->SetSort("");
    m_recordset->Close();
}

long CADORecordset::GetRecordCount() {
    Recordset& recordset = Require(m_recordset);
    long count = recordset.RecordCount();
    if (count != -1)
        return count;
    count = 0;
    if (!recordset.IsEOF())
        recordset.MoveFirst();
    while (!recordset.IsEOF()) {
        recordset.MoveNext();
        ++count;
    }
    if (count != 0)
        recordset.MoveFirst();
    return count;
}

bool CADORecordset::ReadField(const Variant& key, Variant* value) {
    try {
        *value = Require(m_recordset).FieldValue(key);
        return true;
    } catch (const ComError& error) {
        RecordComError(error);
        return false;
    }
}

// Looks the field up and converts it; `convert` returns false for a type the
// target cannot take, which leaves the output unchanged and gives 0.
template <typename T, typename Convert>
int CADORecordset::Read(const Variant& key, T& out, Convert convert) {
    Variant v;
    if (!ReadField(key, &v))
        return 0;
    T result{};
    if (!convert(v, result))
        return 0;
    out = result;
    return 1;
}

namespace {

// The 32-bit and 64-bit members: empty and NULL give 0, the 16-bit and byte
// types their payload; any other type gives the payload of the target's
// width (a 32-bit one read as such by the 64-bit member too).
template <typename T>
bool ToInteger(const Variant& v, T& out) {
    static_assert(std::is_same_v<T, std::int32_t> || std::is_same_v<T, std::int64_t>);
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            out = 0;
            break;
        case VT_I2:
        case VT_BOOL:
            out = v.iVal;
            break;
        case VT_UI1:
            out = v.bVal;
            break;
        case VT_I4:
        case VT_INT:
            out = v.lVal;
            break;
        default:
            if constexpr (std::is_same_v<T, std::int64_t>)
                out = v.llVal;
            else
                out = v.lVal;
    }
    return true;
}

bool ToU32(const Variant& v, std::uint32_t& out) {
    out = v.vt == VT_EMPTY || v.vt == VT_NULL ? 0 : v.ulVal;
    return true;
}

bool ToDouble(const Variant& v, double& out) {
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            out = 0.0;
            break;
        case VT_I2:
            out = v.iVal;
            break;
        case VT_I4:
        case VT_INT:
            out = v.lVal;
            break;
        case VT_UI1:
            out = v.bVal;
            break;
        case VT_R4:
            out = v.fltVal;
            break;
        case VT_DECIMAL:
            out = DecimalToDouble(v.decVal);
            break;
        default:
            out = v.dblVal;  // VT_R8, and a date's serial day number
    }
    return true;
}

bool ToBool(const Variant& v, bool& out) {
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) {
        out = false;
        return true;
    }
    if (v.vt != VT_BOOL)
        return false;
    out = v.boolVal == kVariantTrue;
    return true;
}

std::optional<std::string> ToText(const Variant& v, const std::string& dateFormat) {
    if (std::optional<std::string> text = CommonVariantText(v, dateFormat))
        return text;
    if (v.vt == VT_BOOL)
        return std::string(v.boolVal == kVariantTrue ? "T" : "F");
    if (v.vt == VT_UI4)
        return std::to_string(v.ulVal);
    return std::nullopt;
}

}  // namespace

int CADORecordset::GetFieldValue(const std::string& name, std::int64_t& value) {
    return Read(Name(name), value, ToInteger<std::int64_t>);
}
int CADORecordset::GetFieldValue(const std::string& name, std::int32_t& value) {
    return Read(Name(name), value, ToInteger<std::int32_t>);
}
int CADORecordset::GetFieldValue(int index, std::int32_t& value) {
    return Read(Index(index), value, ToInteger<std::int32_t>);
}
int CADORecordset::GetFieldValue(const std::string& name, std::uint32_t& value) {
    return Read(Name(name), value, ToU32);
}
int CADORecordset::GetFieldValue(int index, std::uint32_t& value) {
    return Read(Index(index), value, ToU32);
}
int CADORecordset::GetFieldValue(const std::string& name, double& value) {
    return Read(Name(name), value, ToDouble);
}
int CADORecordset::GetFieldValue(int index, double& value) {
    return Read(Index(index), value, ToDouble);
}
int CADORecordset::GetFieldValue(const std::string& name, bool& value) {
    return Read(Name(name), value, ToBool);
}
int CADORecordset::GetFieldValue(int index, bool& value) {
    return Read(Index(index), value, ToBool);
}

int CADORecordset::GetFieldValue(const std::string& name, std::string& value,
                                 const std::string& dateFormat) {
    return ReadText(Name(name), value, dateFormat);
}

int CADORecordset::GetFieldValue(int index, std::string& value, const std::string& dateFormat) {
    return ReadText(Index(index), value, dateFormat);
}

int CADORecordset::ReadText(const Variant& key, std::string& value, const std::string& dateFormat) {
    return Read(key, value, [&](const Variant& v, std::string& out) {
        std::optional<std::string> text = ToText(v, dateFormat);
        if (text)
            out = *text;
        return text.has_value();
    });
}

int CADORecordset::GetFieldValue(const std::string& name, Variant& value) {
    return ReadField(Name(name), &value) ? 1 : 0;
}
int CADORecordset::GetFieldValue(int index, Variant& value) {
    return ReadField(Index(index), &value) ? 1 : 0;
}

int CADORecordset::IsFieldNull(const std::string& name) {
    Variant v;
    return ReadField(Name(name), &v) && v.vt == VT_NULL ? 1 : 0;
}

int CADORecordset::IsFieldEmpty(const std::string& name) {
    Variant v;
    return ReadField(Name(name), &v) && (v.vt == VT_EMPTY || v.vt == VT_NULL) ? 1 : 0;
}
