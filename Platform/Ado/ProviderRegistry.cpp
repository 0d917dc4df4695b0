// The registry of providers, keyed by the connection string's "Provider=".
#include <strings.h>

#include <mutex>

#include "Platform/Ado/Provider.h"

namespace Ado {

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
        throw ComError(kEPointer, "No provider factory.", "ADODB");
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

}  // namespace Ado
