// The platform seam as one bundle: the entry point takes the default instance of
// its operating system and hands it down; tests hand down the fake.
#pragma once
#include <cstddef>
#include <string>

#include "Platform/DynamicLibrary.h"
#include "Platform/FileSystem.h"
#include "Platform/InstanceLock.h"
#include "Platform/Profile.h"
#include "Platform/Registry.h"
#include "Platform/System.h"

namespace Platform {

// Thread rule: the default platform is safe to use from several threads at
// once (each concern says what that means for it); the fake is for one
// thread. A platform outlives everything that was handed it.
struct CPlatform {
    IRegistry& registry;
    IProfile& profile;
    IFileSystem& files;
    IInstanceLock& locks;
    IDynamicLibrary& libraries;
    ISystem& system;
};

// The operating system's own implementation, alive for the whole process.
CPlatform& DefaultPlatform();

// The path separator of this platform ('\\' on Windows, '/' elsewhere).
char PathSeparator();

// The longest path, in bytes, that the system's file calls take (the
// terminator not counted): 4095 on Linux, 259 on Windows.
std::size_t MaxPathLength();

// True when a configured folder names an absolute place: one that holds
// ":\" on Windows, one that starts with "/" elsewhere.
inline bool IsAbsoluteFolder(const std::string& folder) {
    return PathSeparator() == '/' ? !folder.empty() && folder[0] == '/'
                                  : folder.find(":\\") != std::string::npos;
}

// The file name of a shared library from its stem: "pellinor.dll" on Windows,
// "libpellinor.so" elsewhere.
std::string LibraryFileName(const std::string& stem);

// True when `c` starts a double-byte character in the process code page (code
// page 932 on Windows). Never true for UTF-8, whose later bytes are never ASCII.
bool IsLeadByte(char c);

}  // namespace Platform
