// Private-profile (INI file) concern, with GetPrivateProfileStringA semantics:
// sections and keys compare case-insensitively, values are trimmed and lose one
// pair of surrounding quotes, the first match wins, CR LF and LF both end a
// line, ';' starts a comment line, and a missing file yields the default.
#pragma once
#include <cstdint>
#include <string>

#include "Platform/Status.h"

namespace Platform {

// Thread rule: safe to call from several threads at once. A write reads,
// changes and replaces the whole file, so one thread at a time writes a file.
class IProfile {
public:
    virtual ~IProfile() = default;

    // GetPrivateProfileStringA. Copies the value of `key` in `section` of the
    // file `path` (or `defaultValue`, "" when null) into `buffer` of `size`
    // bytes, NUL-terminated, cut to size - 1 bytes. Returns the number of
    // bytes copied without the NUL. A null `key` lists the section's key names
    // and a null `section` lists the section names, each NUL-terminated with
    // one more NUL at the end; when such a list is cut, returns size - 2.
    // A null buffer or a size of 0 returns 0.
    // REQUIRES: `buffer`, when not null, holds `size` bytes.
    virtual std::uint32_t GetString(const char* section, const char* key, const char* defaultValue,
                                    char* buffer, std::uint32_t size, const std::string& path) = 0;

    // WritePrivateProfileStringA. Sets `key` in `section` to `value`,
    // creating the file, the section or the key. A null `value` removes the
    // key; a null `key` removes the section. Returns true on success; on
    // failure false, with the reason in the seam's last error.
    // REQUIRES: no other thread writes `path` meanwhile.
    virtual bool WriteString(const char* section, const char* key, const char* value,
                             const std::string& path) = 0;
};

}  // namespace Platform
