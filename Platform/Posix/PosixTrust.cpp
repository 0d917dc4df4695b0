// Who besides this process's user and root can change a path: the checks
// behind CheckTrusted of the files and the registry, and behind the choice of
// the claim folder.
#include "Platform/Posix/PosixTrust.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace Platform::Posix {

// Why one file or folder on a trusted path could be changed by someone who
// is neither this process's user nor root, or null when it cannot. A folder
// with the sticky bit may be writable by all (as /tmp is): nobody can rename
// or remove what others own in it.
const char* Untrusted(const struct stat& st, bool leaf) {
    if (st.st_uid != 0 && st.st_uid != geteuid())
        return "owned by another user";
    if (S_ISLNK(st.st_mode))
        return nullptr;  // a link's own mode means nothing; its owner decides
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) &&
        (leaf || !S_ISDIR(st.st_mode) || !(st.st_mode & S_ISVTX)))
        return "writable by group or others";
    return nullptr;
}

// Checks `path` and every folder above it, both as written (each link on the
// way must be ours or root's, and so must the folders that hold it) and as
// resolved, as ssh checks its configuration files.
Status TrustedPath(const std::string& path, std::string* reason) {
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd))
            return TranslateErrno(errno);
        absolute = std::string(cwd) + "/" + path;
    }
    char* real = realpath(absolute.c_str(), nullptr);
    if (!real)
        return PathStatus(absolute, errno);
    std::string resolved = real;
    free(real);
    for (const std::string& start : {absolute, resolved}) {
        for (std::string p = start;; p = ParentOf(p)) {
            struct stat st;
            if (lstat(p.c_str(), &st) != 0)
                return PathStatus(p, errno);
            if (const char* why = Untrusted(st, p == start)) {
                if (reason)
                    *reason = p + ": " + why;
                return kAccessDenied;
            }
            if (p == "/" || p.empty())
                break;
        }
    }
    return kSuccess;
}

Status CheckTrustedStore(const std::string& path, std::string* reason) {
    Status status = TrustedPath(path, reason);
    if (status == kFileNotFound)
        status = TrustedPath(ParentOf(path).empty() ? "." : ParentOf(path), reason);
    return status;
}

}  // namespace Platform::Posix
