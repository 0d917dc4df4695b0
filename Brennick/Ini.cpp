#include "Brennick/Ini.h"

#include <vector>

CIni::CIni(Platform::IProfile& profile, const char* path) : m_profile(profile) {
    SetFilePath(path);
}

CIni::~CIni() = default;

void CIni::SetFilePath(const char* path) {
    if (path)
        m_path = path;
    else
        m_path.clear();
}

// The growing read: start with room for 512 characters and add 512 until the
// value ends at least two bytes before the end of the buffer, so that a value
// of any length is read whole.
std::string CIni::ReadString(const char* section, const char* key, const char* defaultValue) const {
    if (!section || !key)
        return defaultValue ? defaultValue : "";
    for (std::uint32_t capacity = 512;; capacity += 512) {
        std::vector<char> buffer(capacity + 1);
        std::uint32_t count = m_profile.GetString(section, key, defaultValue ? defaultValue : "",
                                                  buffer.data(), capacity, m_path);
        if (count + 1 < capacity)
            return std::string(buffer.data(), count);
    }
}

bool CIni::WriteString(const char* section, const char* key, const char* value) {
    return m_profile.WriteString(section, key, value ? value : "", m_path);
}
