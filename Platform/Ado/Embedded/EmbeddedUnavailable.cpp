// Builds without SQLite have no embedded database.
#include "Platform/Ado/Provider.h"

namespace Ado {

std::unique_ptr<IProviderSession> OpenEmbeddedSession(const std::string&, const std::string&,
                                                      const std::string&, long) {
    throw ComError(kAdoProviderNotFound,
                   "Provider cannot be found. It may not be properly installed.",
                   "ADODB.Connection");
}

}  // namespace Ado
