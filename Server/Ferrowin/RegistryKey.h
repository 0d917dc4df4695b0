// Owner of one open registry key. Every operation returns the registry call's
// Win32 status unchanged (0 on success).
#pragma once
#include <cstdint>

#include "Platform/Registry.h"

class CRegistryKey {
public:
    explicit CRegistryKey(Platform::IRegistry& registry) : m_registry(registry) {}
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Closes the held key, if any; the handle is forgotten even when closing
    // fails. No key held: 0.
    long Close();

    // Opens `subKey`; on success the previously held key is closed and the
    // result is that close's status. On failure the held key stays.
    long Open(Platform::RegKey parent, const char* subKey, std::uint32_t access);

    // As Open, creating the key when missing; *disposition (may be null)
    // tells whether it was created.
    long Create(Platform::RegKey parent, const char* subKey, std::uint32_t access,
                std::uint32_t* disposition);

    // A 4-byte value into *value; the stored type is not passed back.
    long QueryDword(std::uint32_t* value, const char* name);

    // A value into `buffer` of `size` bytes, asking for `type`; the size and
    // type that the registry reports are not passed back.
    long QueryValue(void* buffer, const char* name, std::uint32_t size, std::uint32_t type);

    long SetDword(std::uint32_t value, const char* name);
    long SetValue(const void* data, const char* name, std::uint32_t size, std::uint32_t type);

    bool IsOpen() const { return m_held; }

private:
    long Hold(Platform::Status status, Platform::RegKey key);

    Platform::IRegistry& m_registry;
    Platform::RegKey m_key = 0;
    bool m_held = false;
};
