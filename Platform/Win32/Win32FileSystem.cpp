// The files concern on Windows: FindFirstFileA listings, attributes,
// MoveFileExA, and the whole-file read and atomic replace over CreateFileA.
// The system's own statuses come back unchanged; the few checks made here
// first only keep a failing call from changing anything.
#include "Platform/Win32/Win32FileSystem.h"

#include "Platform/Win32/Win32Api.h"

namespace Platform::Win32 {

Status LastStatus() {
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? kGenericFailure : static_cast<Status>(error);
}

Status Fail(Status status) {
    SetLastError(status);
    return status;
}

namespace {

constexpr DWORD kInvalidAttributes = INVALID_FILE_ATTRIBUTES;

// The seam reports only the bits it names; a file with none of them is
// "normal", as the Posix side reports it (Windows adds the archive bit to
// every file it writes).
std::uint32_t SeamAttributes(DWORD raw) {
    std::uint32_t bits = raw & (kAttributeReadOnly | kAttributeDirectory | kAttributeReparsePoint);
    return bits ? bits : kAttributeNormal;
}

// Writes all of `text`, in pieces that fit a DWORD.
bool WriteAll(HANDLE file, const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace

Status CWin32FileSystem::ListFiles(const std::string& folder, const std::string& pattern,
                                   bool includeFolders, std::vector<FileEntry>* entries) {
    entries->clear();
    std::string search = folder;
    if (!search.empty() && search.back() != '\\' && search.back() != '/')
        search += '\\';
    search += pattern;
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA(search.c_str(), &data));
    if (!find.Valid()) {
        // Nothing matched in an existing folder is an empty listing.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? kSuccess
                                                                             : LastStatus();
    }
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !includeFolders)
            continue;
        entries->push_back({name, SeamAttributes(data.dwFileAttributes)});
    } while (FindNextFileA(find.Get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        Status status = LastStatus();
        entries->clear();
        return Fail(status);
    }
    return kSuccess;
}

Status CWin32FileSystem::GetAttributes(const std::string& path, std::uint32_t* attributes) {
    DWORD raw = GetFileAttributesA(path.c_str());
    if (raw == kInvalidAttributes)
        return Fail(LastStatus());
    *attributes = SeamAttributes(raw);
    return kSuccess;
}

Status CWin32FileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    DWORD raw = GetFileAttributesA(path.c_str());
    if (raw == kInvalidAttributes)
        return Fail(LastStatus());
    // Only the read-only bit changes; the file keeps its other attributes.
    DWORD wanted = (attributes & kAttributeReadOnly) ? raw | FILE_ATTRIBUTE_READONLY
                                                     : raw & ~DWORD{FILE_ATTRIBUTE_READONLY};
    wanted &= ~DWORD{FILE_ATTRIBUTE_NORMAL};
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesA(path.c_str(), wanted))
        return Fail(LastStatus());
    return kSuccess;
}

Status CWin32FileSystem::Relocate(const std::string& from, const std::string& to,
                                  bool replaceExisting) {
    DWORD flags = MOVEFILE_COPY_ALLOWED;
    if (replaceExisting) {
        flags |= MOVEFILE_REPLACE_EXISTING;
        // Windows refuses to replace a read-only file; Wine 8.0 replaces it.
        // Checked here, so that the file is kept wherever the program runs.
        DWORD target = GetFileAttributesA(to.c_str());
        if (target != kInvalidAttributes && (target & FILE_ATTRIBUTE_READONLY) &&
            GetFileAttributesA(from.c_str()) != kInvalidAttributes)
            return Fail(kAccessDenied);
    }
    if (!MoveFileExA(from.c_str(), to.c_str(), flags))
        return Fail(LastStatus());
    return kSuccess;
}

Status CWin32FileSystem::RemoveFile(const std::string& path) {
    if (!DeleteFileA(path.c_str()))
        return Fail(LastStatus());
    return kSuccess;
}

Status CWin32FileSystem::CreateFolder(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr))
        return Fail(LastStatus());
    return kSuccess;
}

bool CWin32FileSystem::Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != kInvalidAttributes;
}

Status CWin32FileSystem::ReadWhole(const std::string& path, std::string* content) {
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return Fail(LastStatus());
    // Only disk files: a pipe or a console could hold the read for ever.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK)
        return Fail(kAccessDenied);
    std::string text;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0)
        text.reserve(static_cast<size_t>(size.QuadPart));
    char buffer[1 << 16];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr))
            return Fail(LastStatus());
        if (read == 0)
            break;
        text.append(buffer, read);
    }
    *content = std::move(text);
    return kSuccess;
}

Status CWin32FileSystem::ReplaceContent(const std::string& path, const std::string& content,
                                        const std::string& temporaryPath, bool) {
    // A read-only file or a folder would refuse the final rename; refuse
    // before any temporary file exists.
    DWORD existing = GetFileAttributesA(path.c_str());
    if (existing != kInvalidAttributes &&
        (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return Fail(kAccessDenied);

    Status status = kSuccess;
    {
        CFileHandle temp(CreateFileA(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!temp.Valid())
            return Fail(LastStatus());
        if (!WriteAll(temp.Get(), content) || !FlushFileBuffers(temp.Get()))
            status = LastStatus();
        if (!temp.Close() && status == kSuccess)
            status = LastStatus();
    }
    if (status == kSuccess && !MoveFileExA(temporaryPath.c_str(), path.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        status = LastStatus();
    if (status != kSuccess) {
        DeleteFileA(temporaryPath.c_str());
        return Fail(status);
    }
    return kSuccess;
}

// Windows guards its program folders with their access lists; every existing
// path is taken as trusted.
Status CWin32FileSystem::CheckTrusted(const std::string& path, std::string*) {
    if (GetFileAttributesA(path.c_str()) == kInvalidAttributes)
        return Fail(LastStatus());
    return kSuccess;
}

}  // namespace Platform::Win32
