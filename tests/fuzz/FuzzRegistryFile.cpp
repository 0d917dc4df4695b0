// The registry-file reader on any bytes: it never throws, and what it reads,
// written back out and read again, gives the same keys and values, as far
// as the export format can write them (no line breaks or other control
// characters in names, no "]" in a key path, no empty key path).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform/RegistryHive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> skipped;
    Platform::CRegistryStore store = Platform::CRegistryStore::Parse(text, &skipped);
    auto writable = [](const std::string& name, bool path) {
        if (path && name.empty())
            return false;
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || (path && c == ']'))
                return false;
        return true;
    };
    for (const Platform::CRegistryStore::Key* key : store.Keys()) {
        if (!writable(key->path, true))
            return 0;
        for (const Platform::CRegistryStore::Value& value : key->values)
            if (!writable(value.name, false))
                return 0;
    }
    std::string written = store.Serialize();
    Platform::CRegistryStore again = Platform::CRegistryStore::Parse(written, nullptr);
    std::vector<const Platform::CRegistryStore::Key*> keys = store.Keys();
    if (again.Keys().size() != keys.size())
        std::abort();
    for (const Platform::CRegistryStore::Key* key : keys) {
        Platform::CRegistryStore::Key* other = again.FindKey(key->path);
        if (!other || other->values.size() != key->values.size())
            std::abort();
        for (const Platform::CRegistryStore::Value& value : key->values) {
            Platform::CRegistryStore::Value* read = other->FindValue(value.name);
            if (!read || read->data != value.data || read->type != value.type)
                std::abort();
        }
    }
    return 0;
}
