// The registry's semantics over a hive held in memory, shared by every
// implementation that does not have a real Win32 registry underneath.
//
//   CRegistryStore  the hive: keys by case-insensitive path, values with type
//                   and raw bytes; reads and writes the regedit export format
//                   (RegistryFile.cpp)
//   IHiveBacking    where a hive is loaded from and saved to (a file, memory)
//   CHiveRegistry   IRegistry on a backing: handles, access masks, statuses
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Registry.h"

namespace Platform {

// ASCII letters in lower case, as the registry compares key and value names.
std::string FoldRegistryName(std::string name);

// The hive. Parse and Serialize (the regedit export format) are in
// RegistryFile.cpp, the rest in RegistryHive.cpp.
class CRegistryStore {
public:
    struct Value {
        std::string name;  // as written; "" is the default value (@)
        std::uint32_t type = kRegSz;
        std::string data;  // raw bytes; REG_SZ includes its closing NUL
    };
    struct Key {
        std::string path;  // as written, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\Zorel
        std::vector<Value> values;
        Value* FindValue(const std::string& name);
        const Value* FindValue(const std::string& name) const;
    };

    // Parses regedit export text ("Windows Registry Editor Version 5.00" or
    // "REGEDIT4", UTF-8 or UTF-16LE with its byte order mark). A line that
    // cannot be read is skipped and described in *skipped (when not null);
    // the lines around it are read as usual.
    static CRegistryStore Parse(const std::string& text, std::vector<std::string>* skipped);

    // The hive as regedit export text, under the header it was read with.
    std::string Serialize() const;

    // A key by full path, or null. Ancestors of a listed key exist too.
    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    bool KeyExists(const std::string& path) const;
    // The key at `path`, created when missing; *created tells which.
    Key& EnsureKey(const std::string& path, bool* created);
    // Every key, ordered by folded path (a parent before its children).
    std::vector<const Key*> Keys() const;

private:
    static std::string Fold(const std::string& path);
    std::string m_header = "Windows Registry Editor Version 5.00";
    std::map<std::string, Key> m_keys;  // by folded path
};

// Thread rule: the registry above it calls it from several threads at once;
// each backing makes Load and Save safe for that.
class IHiveBacking {
public:
    virtual ~IHiveBacking() = default;
    // Loads the current hive. Success: 0. Missing store: 0 with an empty hive.
    // REQUIRES: store is not null.
    virtual Status Load(CRegistryStore* store) = 0;
    // The same, for a caller that only reads: a backing that keeps its
    // parsed hive hands out that one instead of a copy.
    virtual Status LoadShared(std::shared_ptr<const CRegistryStore>* store) {
        auto loaded = std::make_shared<CRegistryStore>();
        Status status = Load(loaded.get());
        *store = std::move(loaded);
        return status;
    }
    // Replaces the stored hive. Success: 0; otherwise the failure status.
    virtual Status Save(const CRegistryStore& store) = 0;
    // Whether the caller may change the store (write access on open).
    virtual bool Writable() = 0;
    // Whether only the running user or the administrator can change the
    // store (see IRegistry::CheckTrusted). Success: 0.
    virtual Status CheckTrusted(std::string* /*reason*/) { return kSuccess; }
};

class CHiveRegistry : public IRegistry {
public:
    explicit CHiveRegistry(IHiveBacking& backing) : m_backing(backing) {}

    Status OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                   RegKey* key) override;
    Status CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey* key,
                     std::uint32_t* disposition) override;
    Status CloseKey(RegKey key) override;
    Status QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type, void* data,
                      std::uint32_t* size) override;
    Status SetValue(RegKey key, const std::string& valueName, std::uint32_t type, const void* data,
                    std::uint32_t size) override;
    Status CheckTrusted(std::string* reason) override { return m_backing.CheckTrusted(reason); }

private:
    struct OpenedKey {
        std::string path;
        std::uint32_t access;
    };
    Status ResolvePath(RegKey parent, const std::string& subKey, std::string* path);
    RegKey Remember(const std::string& path, std::uint32_t access);

    IHiveBacking& m_backing;
    std::mutex m_mutex;
    std::map<RegKey, OpenedKey> m_open;
    RegKey m_next = 0x1000;
};

}  // namespace Platform
