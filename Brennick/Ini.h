// One INI file, read and written through the private-profile functions. The
// object keeps the path only; every read goes to the file.
#pragma once
#include <string>

#include "Platform/Profile.h"

class CIni {
public:
    CIni(Platform::IProfile& profile, const char* path);
    virtual ~CIni();
    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;

    void SetFilePath(const char* path);
    const std::string& GetFilePath() const { return m_path; }

    // The value of `key` in `section`, or `defaultValue` ("" when null) when
    // the file, section or key is missing.
    std::string ReadString(const char* section, const char* key,
                           const char* defaultValue = nullptr) const;

    // Sets the value ("" when null). Returns false when the file cannot be
    // written.
    bool WriteString(const char* section, const char* key, const char* value);

private:
    Platform::IProfile& m_profile;
    std::string m_path;
};
