// Registry hive: keys and values held in memory, and the Win32 registry calls
// on top. The regedit text in and out is in RegistryFile.cpp.
//
//   CRegistryStore     key lookup
//   CHiveRegistry      OpenKey, CreateKey, CloseKey, QueryValue, SetValue
#include "Platform/RegistryHive.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Platform {

std::string FoldRegistryName(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---------------------------------------------------------------- the store

CRegistryStore::Value* CRegistryStore::Key::FindValue(const std::string& name) {
    std::string folded = FoldRegistryName(name);
    for (Value& v : values)
        if (FoldRegistryName(v.name) == folded)
            return &v;
    return nullptr;
}

const CRegistryStore::Value* CRegistryStore::Key::FindValue(const std::string& name) const {
    return const_cast<Key*>(this)->FindValue(name);
}

std::string CRegistryStore::Fold(const std::string& path) {
    std::string p = FoldRegistryName(path);
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return p;
}

CRegistryStore::Key* CRegistryStore::FindKey(const std::string& path) {
    auto it = m_keys.find(Fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

const CRegistryStore::Key* CRegistryStore::FindKey(const std::string& path) const {
    auto it = m_keys.find(Fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

std::vector<const CRegistryStore::Key*> CRegistryStore::Keys() const {
    std::vector<const Key*> keys;
    for (const auto& entry : m_keys) keys.push_back(&entry.second);
    return keys;
}

bool CRegistryStore::KeyExists(const std::string& path) const {
    std::string folded = Fold(path);
    auto it = m_keys.lower_bound(folded);
    if (it == m_keys.end())
        return false;
    return it->first == folded || it->first.rfind(folded + "\\", 0) == 0;
}

CRegistryStore::Key& CRegistryStore::EnsureKey(const std::string& path, bool* created) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    auto [it, inserted] = m_keys.try_emplace(Fold(trimmed));
    if (inserted)
        it->second.path = trimmed;
    *created = inserted;
    return it->second;
}

// --------------------------------------------------------- registry calls

Status CHiveRegistry::ResolvePath(RegKey parent, const std::string& subKey, std::string* path) {
    if (parent == kHKeyLocalMachine) {
        *path = "HKEY_LOCAL_MACHINE";
    } else {
        auto it = m_open.find(parent);
        if (it == m_open.end())
            return kInvalidHandle;
        *path = it->second.path;
    }
    std::string sub = subKey;
    while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    if (!sub.empty())
        *path += "\\" + sub;
    return kSuccess;
}

RegKey CHiveRegistry::Remember(const std::string& path, std::uint32_t access) {
    RegKey handle = m_next++;
    m_open[handle] = OpenedKey{path, access};
    return handle;
}

namespace {
bool WantsWrite(std::uint32_t access) {
    return (access & (kKeySetValue | kKeyCreateSubKey)) != 0;
}
}  // namespace

Status CHiveRegistry::OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                              RegKey* key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string path;
    if (Status s = ResolvePath(parent, subKey, &path))
        return s;
    std::shared_ptr<const CRegistryStore> store;
    if (Status s = m_backing.LoadShared(&store))
        return s;
    if (!store->KeyExists(path))
        return kFileNotFound;
    if (WantsWrite(access) && !m_backing.Writable())
        return kAccessDenied;
    *key = Remember(path, access);
    return kSuccess;
}

Status CHiveRegistry::CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                                RegKey* key, std::uint32_t* disposition) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string path;
    if (Status s = ResolvePath(parent, subKey, &path))
        return s;
    CRegistryStore store;
    if (Status s = m_backing.Load(&store))
        return s;
    bool created = false;
    if (!store.KeyExists(path)) {
        if (!m_backing.Writable())
            return kAccessDenied;
        store.EnsureKey(path, &created);
        if (Status s = m_backing.Save(store))
            return s;
    } else if (WantsWrite(access) && !m_backing.Writable()) {
        return kAccessDenied;
    }
    if (disposition)
        *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    *key = Remember(path, access);
    return kSuccess;
}

Status CHiveRegistry::CloseKey(RegKey key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open.erase(key) ? kSuccess : kInvalidHandle;
}

Status CHiveRegistry::QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type,
                                 void* data, std::uint32_t* size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_open.find(key);
    if (it == m_open.end())
        return kInvalidHandle;
    if (!(it->second.access & kKeyQueryValue))
        return kAccessDenied;
    std::shared_ptr<const CRegistryStore> store;
    if (Status s = m_backing.LoadShared(&store))
        return s;
    const CRegistryStore::Key* stored = store->FindKey(it->second.path);
    const CRegistryStore::Value* value = stored ? stored->FindValue(valueName) : nullptr;
    if (!value)
        return kFileNotFound;
    if (type)
        *type = value->type;
    auto needed = static_cast<std::uint32_t>(value->data.size());
    if (!data) {
        if (size)
            *size = needed;
        return kSuccess;
    }
    if (!size || *size < needed) {
        if (size)
            *size = needed;
        return kMoreData;
    }
    std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return kSuccess;
}

Status CHiveRegistry::SetValue(RegKey key, const std::string& valueName, std::uint32_t type,
                               const void* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_open.find(key);
    if (it == m_open.end())
        return kInvalidHandle;
    if (!(it->second.access & kKeySetValue) || !m_backing.Writable())
        return kAccessDenied;
    CRegistryStore store;
    if (Status s = m_backing.Load(&store))
        return s;
    bool created = false;
    CRegistryStore::Key& stored = store.EnsureKey(it->second.path, &created);
    CRegistryStore::Value value{valueName, type,
                                std::string(static_cast<const char*>(data), data ? size : 0)};
    if (CRegistryStore::Value* existing = stored.FindValue(valueName))
        *existing = value;
    else
        stored.values.push_back(value);
    return m_backing.Save(store);
}

}  // namespace Platform
