// The few system calls of the bulk loader that differ between Linux and
// Windows: opening the data file as a read-only descriptor, in binary mode
// (Windows would otherwise turn CR LF into LF while reading), not passed on
// to child processes, and on Linux without blocking (a FIFO with no writer
// would hold the open forever) and without following a symbolic link (the
// importer loads the files it was given, never what a link points at); and memmem, which Windows' C
// library lacks.
#pragma once
#include <fcntl.h>

#include <algorithm>
#include <cstddef>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Ado::Embedded {

inline int OpenDataFile(const std::string& path) {
#ifdef _WIN32
    return _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
    return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
#endif
}

}  // namespace Ado::Embedded

#ifdef _WIN32
// The first `needleSize` bytes equal to `needle` in `haystack`, or null.
inline void* memmem(const void* haystack, std::size_t haystackSize, const void* needle,
                    std::size_t needleSize) {
    const char* begin = static_cast<const char*>(haystack);
    const char* end = begin + haystackSize;
    const char* n = static_cast<const char*>(needle);
    const char* found = std::search(begin, end, n, n + needleSize);
    return found == end && needleSize > 0 ? nullptr : const_cast<char*>(found);
}
#endif
