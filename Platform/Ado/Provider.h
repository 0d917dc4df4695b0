// What a provider offers the object model: a session on one database that runs
// statements and procedures. Providers throw ComError for every failure.
#pragma once
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

// One provider's entry: opens a session for a connection string.
using ProviderFactory = std::unique_ptr<IProviderSession> (*)(const std::string& connectionString,
                                                              const std::string& userId,
                                                              const std::string& password,
                                                              long connectionTimeout);

std::unique_ptr<IProviderSession> OpenOdbcSession(const std::string& connectionString,
                                                  const std::string& userId,
                                                  const std::string& password,
                                                  long connectionTimeout);
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
