// Registry concern: the HKEY_LOCAL_MACHINE hive, with the Win32 registry calls'
// semantics. Keys and value names compare case-insensitively.
#pragma once
#include <cstdint>
#include <string>

#include "Platform/Status.h"

namespace Platform {

// An open key. Predefined roots use the Win32 values; other handles are
// whatever the implementation hands out and are only meaningful to it.
using RegKey = std::uintptr_t;
constexpr RegKey kHKeyLocalMachine = 0x80000002;

// Access masks (REGSAM).
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

// Create dispositions.
constexpr std::uint32_t kRegCreatedNewKey = 1;
constexpr std::uint32_t kRegOpenedExistingKey = 2;

// Thread rule: safe to call from several threads at once; a key handle may be
// used by any thread until it is closed.
class IRegistry {
public:
    virtual ~IRegistry() = default;

    // Opens `subKey` below `parent` with the access mask `access`.
    // Success: 0, and *key holds a handle that must be closed with CloseKey.
    // Missing key: 2. Write access (kKeySetValue or kKeyCreateSubKey in the
    // mask) on a store the caller may not change: 5. Unknown parent: 6.
    // On failure *key is left as it was.
    // REQUIRES: key is not null.
    virtual Status OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                           RegKey* key) = 0;

    // Opens `subKey`, creating it and its missing ancestors first.
    // Success: 0, *key as for OpenKey, and *disposition (when not null) says
    // whether the key was created or existed. Store not writable: 5.
    // REQUIRES: key is not null.
    virtual Status CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                             RegKey* key, std::uint32_t* disposition) = 0;

    // Closes a handle from OpenKey or CreateKey. Success: 0. Unknown handle: 6.
    // The handle is invalid afterwards whatever the result.
    virtual Status CloseKey(RegKey key) = 0;

    // RegQueryValueExA. `type` and `size` are in/out and may be null.
    // Success: 0, the data in `data` (REG_SZ with its closing NUL), *type the
    // stored type and *size the bytes written. `data` null: 0 and *size the
    // bytes needed. Buffer too small: 234 and *size the bytes needed; the
    // buffer content is then undefined. Missing value: 2. Handle not opened
    // with query access: 5. Unknown handle: 6.
    // REQUIRES: when `data` is not null, `size` is not null and *size is
    // the number of bytes `data` holds.
    virtual Status QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type,
                              void* data, std::uint32_t* size) = 0;

    // RegSetValueExA: stores `size` bytes of `data` with `type`, replacing any
    // value of that name. Success: 0. Handle without set-value access or a
    // store that cannot be written: 5. Unknown handle: 6.
    // REQUIRES: `data` holds `size` bytes (it may be null when `size` is 0).
    virtual Status SetValue(RegKey key, const std::string& valueName, std::uint32_t type,
                            const void* data, std::uint32_t size) = 0;

    // Whether the store that holds the hive can be changed only by the
    // running user or the administrator (see IFileSystem::CheckTrusted). The
    // hive decides which library is loaded and where files go, so a store
    // that another user can change must not be used. Trusted, or missing in
    // a trusted folder: 0. Otherwise 5, and *reason (when not null) says
    // what and why. The Windows registry is protected by the system: 0.
    virtual Status CheckTrusted(std::string* reason) = 0;
};

}  // namespace Platform
