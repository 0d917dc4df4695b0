// The private-profile semantics on the text of one INI file, shared by every
// implementation that reads the file itself.
#pragma once
#include <cstdint>
#include <string>

namespace Platform {

// GetPrivateProfileStringA on `text`; a null `text` is a missing file. See
// IProfile::GetString for arguments and result.
std::uint32_t ProfileGetString(const std::string* text, const char* section, const char* key,
                               const char* defaultValue, char* buffer, std::uint32_t size);

// WritePrivateProfileStringA on `text` (created when empty). See
// IProfile::WriteString; a null section is refused with false.
bool ProfileWriteString(std::string& text, const char* section, const char* key, const char* value);

}  // namespace Platform
