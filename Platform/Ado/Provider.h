// What a provider offers the object model: a session on one database that runs
// statements and procedures. Providers throw ComError for every failure.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Ado/Ado.h"

namespace Ado {

// Rows fetched whole, as a client-side cursor holds them.
struct ResultSet {
    std::vector<std::string> names;
    std::vector<std::vector<Variant>> rows;
};

struct ProcedureParameter {
    std::string name;
    long type = 0;
    long size = 0;
    long direction = adParamInput;
    Variant value;  // in: the value to pass; out: filled by the call
};

// ---- the error contract
//
// Every provider throws ComError, never a standard exception, and classifies
// each failure by this table. The database layer decides from the HRESULT
// alone, so a provider that gives another code changes what the importer
// does with the file it was loading.
//
//   failure                          HRESULT      afterwards
//   the connection is lost, or the   0x80004005   the layer closes and reopens
//   database cannot be used (open    E_FAIL       the session; the importer
//   refused, file locked past the                 leaves the file for a later
//   busy timeout, I/O error)                      run
//   a time-out: past the command     0x80040E31   the session stays open;
//   timeout, or cancelled by the     DB_E_ABORT-  nothing of the statement is
//   server                           LIMITREACHED kept
//   an error in the statement:       0x80040E14   the session stays open
//   syntax, a missing object, a      DB_E_ERRORS-
//   conversion, a constraint         INCOMMAND
//   out of memory while running      0x80004005   as a lost connection: the
//   ("There is insufficient system   E_FAIL       session's state is not
//   memory to run this query.")                   trusted
//
// E_OUTOFMEMORY (0x8007000E) is the object model's own, for an allocation
// that fails before any session exists. The description carries the
// provider's own text (for ODBC, the SQLSTATE in brackets and the driver's
// message).

class IProviderSession {
public:
    virtual ~IProviderSession() = default;

    // Runs one statement. Returns its rows when it produced a result set,
    // nothing otherwise; *affected receives the rows changed (-1 unknown).
    virtual std::optional<ResultSet> Execute(const std::string& sql, long timeoutSeconds,
                                             long* affected) = 0;

    // Calls a stored procedure with the parameters in order, filling the
    // values of output parameters.
    virtual void CallProcedure(const std::string& name, std::vector<ProcedureParameter>& params,
                               long timeoutSeconds, long* affected) = 0;
};

// One provider's entry: opens a session for a connection string, or throws
// ComError.
using ProviderFactory = std::function<std::unique_ptr<IProviderSession>(
    const std::string& connectionString, const std::string& userId, const std::string& password,
    long connectionTimeout)>;

// ---- the registry of providers
//
// A connection string is opened by the provider its "Provider=" value names
// (letter case ignored). "Embedded" is registered from the start (tests add
// "Scripted"); every other string (a bare data source name, an ODBC "Key=Value"
// string, an OLE DB string for SQL Server or Jet) goes to the ODBC provider,
// which translates or refuses it. Registration and look-up are safe from any
// thread; a connection already open keeps the session it was given.

// Makes `factory` open the strings whose Provider= value is `name`, in place
// of an earlier provider of that name. An empty factory throws E_POINTER.
void RegisterProvider(const std::string& name, ProviderFactory factory);
// Forgets the provider of that name (a built-in one too); its strings then go
// to ODBC. Nothing happens when no provider has the name.
void UnregisterProvider(const std::string& name);
// The factory that opens `connectionString`.
ProviderFactory ChooseProvider(const std::string& connectionString);

std::unique_ptr<IProviderSession> OpenOdbcSession(const std::string& connectionString,
                                                  const std::string& userId,
                                                  const std::string& password,
                                                  long connectionTimeout);
// Where the build has no embedded database, this throws kAdoProviderNotFound.
std::unique_ptr<IProviderSession> OpenEmbeddedSession(const std::string& connectionString,
                                                      const std::string& userId,
                                                      const std::string& password,
                                                      long connectionTimeout);

// ---- connection strings: "Key=Value;Key={Value;with;semicolons};..."

struct ConnectionAttribute {
    std::string key;  // as written, trimmed
    std::string value;
};
std::vector<ConnectionAttribute> ParseConnectionString(const std::string& text);
// The value of `key` (letter case ignored), or null.
const std::string* FindAttribute(const std::vector<ConnectionAttribute>& attributes,
                                 const std::string& key);

}  // namespace Ado
