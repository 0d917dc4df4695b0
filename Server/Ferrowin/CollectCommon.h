// Names and small path rules that several of the collector's operations share.
#pragma once
#include <string>

#include "Platform/PathName.h"
#include "Platform/Platform.h"

// Registry keys under HKEY_LOCAL_MACHINE, opened with all access
// (Platform::kKeyAllAccess).
constexpr char kDbManagerKey[] = "SOFTWARE\\Zorel\\Kestrafold\\DBManager";
constexpr char kProductKey[] = "SOFTWARE\\Zorel\\Kestrafold";

// Registry strings and settings paths are read into buffers of this size.
constexpr std::uint32_t kSettingBufferSize = 1024;

// `folder` with the platform's separator at its end.
inline std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != Platform::PathSeparator())
        folder += Platform::PathSeparator();
    return folder;
}

// What follows the last backslash, then the last forward slash.
inline std::string BaseName(const std::string& path) {
    return Platform::BaseName(path, "\\/");
}

// ASCII letters A to Z lowered; other bytes unchanged.
inline std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}
