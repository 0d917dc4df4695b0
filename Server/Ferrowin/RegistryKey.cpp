#include "Server/Ferrowin/RegistryKey.h"

long CRegistryKey::Close() {
    if (!m_held)
        return 0;
    m_held = false;
    return static_cast<long>(m_registry.CloseKey(m_key));
}

long CRegistryKey::Hold(Platform::Status status, Platform::RegKey key) {
    if (status != Platform::kSuccess)
        return static_cast<long>(status);
    long closed = Close();
    m_key = key;
    m_held = true;
    return closed;
}

long CRegistryKey::Open(Platform::RegKey parent, const char* subKey, std::uint32_t access) {
    Platform::RegKey key = 0;
    Platform::Status status = m_registry.OpenKey(parent, subKey ? subKey : "", access, &key);
    return Hold(status, key);
}

long CRegistryKey::Create(Platform::RegKey parent, const char* subKey, std::uint32_t access,
                          std::uint32_t* disposition) {
    Platform::RegKey key = 0;
    Platform::Status status =
        m_registry.CreateKey(parent, subKey ? subKey : "", access, &key, disposition);
    return Hold(status, key);
}

long CRegistryKey::QueryDword(std::uint32_t* value, const char* name) {
    std::uint32_t type = Platform::kRegDword;
    std::uint32_t size = sizeof *value;
    if (!m_held)
        return Platform::kInvalidHandle;
    return static_cast<long>(m_registry.QueryValue(m_key, name ? name : "", &type, value, &size));
}

long CRegistryKey::QueryValue(void* buffer, const char* name, std::uint32_t size,
                              std::uint32_t type) {
    if (!m_held)
        return Platform::kInvalidHandle;
    return static_cast<long>(m_registry.QueryValue(m_key, name ? name : "", &type, buffer, &size));
}

long CRegistryKey::SetDword(std::uint32_t value, const char* name) {
    return SetValue(&value, name, sizeof value, Platform::kRegDword);
}

long CRegistryKey::SetValue(const void* data, const char* name, std::uint32_t size,
                            std::uint32_t type) {
    if (!m_held)
        return Platform::kInvalidHandle;
    return static_cast<long>(m_registry.SetValue(m_key, name ? name : "", type, data, size));
}
