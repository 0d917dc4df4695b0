// What the Posix files share: the status of a failed path call, the folder
// part of a path, and the trust checks, which ask whether anybody but this
// process's user and root can change a file or a folder on the way to it.
// Only Platform/Posix includes this file.
#pragma once
#include <sys/stat.h>

#include <string>

#include "Platform/PathName.h"
#include "Platform/Status.h"

namespace Platform::Posix {

// errno to the Win32 status (PosixPlatform.cpp holds the table).
Status TranslateErrno(int error);

// The status of a call on `path` that failed with `error`. Windows tells a
// missing file (2) from a missing folder on the way to it (3); errno does not.
Status PathStatus(const std::string& path, int error);

// The folder part of a path, without its closing separator: "" for a bare
// name, and "/" for the root and for what lies in it, so that a walk up
// from an absolute path ends at "/" (the trust and claim walks stop there).
// Separators at the end are ignored.
inline std::string ParentOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::string parent = ParentPath(path, "/");
    return parent.empty() && !path.empty() && path[0] == '/' ? "/" : parent;
}

// Why one file or folder on a trusted path could be changed by someone who
// is neither this process's user nor root, or null when it cannot. `leaf`:
// the path itself rather than a folder above it.
const char* Untrusted(const struct stat& st, bool leaf);

// Checks `path` and every folder above it, both as written and as resolved.
// Success: 0. Changeable by another user: 5, with *reason (when not null)
// naming what and why. Missing: 2 or 3. Leaves the last error alone.
Status TrustedPath(const std::string& path, std::string* reason);

// The same for a store that is created when missing (the registry file): a
// missing file is judged by its folder, where it would be created.
Status CheckTrustedStore(const std::string& path, std::string* reason);

}  // namespace Platform::Posix
