#include "Brennick/Ini.h"

#include <cstdint>
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

// The growing read: start with room for 512 characters and double the room
// until the value ends at least two bytes before the end of the buffer, so
// that a value of any length is read whole. Each try reads the file again:
// doubling keeps a long value to a few tries (a 1 MB value takes 13).
std::string CIni::ReadString(const char* section, const char* key, const char* defaultValue) const {
    if (!section || !key)
        return defaultValue ? defaultValue : "";
    constexpr std::uint32_t kLargest = UINT32_MAX - 1;  // the buffer has one byte more
    for (std::uint32_t capacity = 512;;
         capacity = capacity > kLargest / 2 ? kLargest : capacity * 2) {
        std::vector<char> buffer(capacity + 1);
        std::uint32_t count = m_profile.GetString(section, key, defaultValue ? defaultValue : "",
                                                  buffer.data(), capacity, m_path);
        if (count + 1 < capacity || capacity == kLargest)
            return std::string(buffer.data(), count);
    }
}

bool CIni::WriteString(const char* section, const char* key, const char* value) {
    return m_profile.WriteString(section, key, value ? value : "", m_path);
}
