// The platform seam on Windows. The concerns' Win32 implementations come with
// the Windows port of the importer; the process-wide helpers are here already.
#include <windows.h>

#include "Platform/Platform.h"

namespace Platform {

char PathSeparator() {
    return '\\';
}

std::string LibraryFileName(const std::string& stem) {
    return stem + ".dll";
}

bool IsLeadByte(char c) {
    return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
}

}  // namespace Platform
