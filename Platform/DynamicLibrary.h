// Dynamic library concern (LoadLibraryA, GetProcAddress, FreeLibrary).
#pragma once
#include <string>

#include "Platform/Status.h"

namespace Platform {

using LibraryHandle = void*;
using LibrarySymbol = void (*)();

// Thread rule: safe to call from several threads at once; a handle may be
// used by any thread until it is freed.
class IDynamicLibrary {
public:
    virtual ~IDynamicLibrary() = default;

    // Loads the library at `path`. Success: 0 and *handle non-null.
    // Missing file: 126. Not a library: 193. *handle is null on failure.
    // REQUIRES: handle is not null.
    virtual Status Load(const std::string& path, LibraryHandle* handle) = 0;

    // The address of the export `name`, or null when it is missing (the last
    // error then holds 127).
    // REQUIRES: `handle` came from Load and has not been freed.
    virtual LibrarySymbol FindSymbol(LibraryHandle handle, const std::string& name) = 0;

    // Unloads a handle from Load. Success: 0. Null handle: 6.
    // REQUIRES: `handle` is null or came from Load and has not been freed;
    // no symbol found through it is called afterwards.
    virtual Status Free(LibraryHandle handle) = 0;
};

}  // namespace Platform
