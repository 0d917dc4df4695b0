// Claims on Windows: the file stays where it is, held open with read access
// while others are denied write access (a writer that still has it open
// makes the open fail with a sharing violation, and none can open it for
// writing while it is held). The handle shows what was opened: no reparse
// point, one link, a disk file. The steps then go by the path, which the
// folders' access lists guard. Delete sharing is granted, so that the
// importer's own move and delete work while the handle is held.
#include "Platform/PathClaimedFile.h"
#include "Platform/Win32/Win32Api.h"
#include "Platform/Win32/Win32FileSystem.h"

#include <memory>

namespace Platform::Win32 {

namespace {

// Opens `path` as a claim does; 0 and *handle, or the status.
Status OpenClaimed(const std::string& path, CFileHandle* handle) {
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid())
        return Fail(LastStatus());  // a folder, too, gives 5
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file.Get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks != 1)
        return Fail(kAccessDenied);
    *handle = std::move(file);
    return kSuccess;
}

// The file is held open, denying others write and delete sharing, except for
// the steps that replace, move or delete it: the hold ends for that step and
// is taken again on what is there after it.
class CWin32ClaimedFile : public CPathClaimedFile {
public:
    CWin32ClaimedFile(CWin32FileSystem& files, std::string path, CFileHandle handle)
        : CPathClaimedFile(files, std::move(path)), m_handle(std::move(handle)) {}

private:
    void Release() override { m_handle.Close(); }
    void Retake() override { OpenClaimed(Path(), &m_handle); }

    CFileHandle m_handle;
};

}  // namespace

Status CWin32FileSystem::ClaimFile(const std::string& path,
                                   std::unique_ptr<IClaimedFile>* claimed) {
    claimed->reset();
    CFileHandle handle;
    if (Status status = OpenClaimed(path, &handle))
        return status;
    *claimed = std::make_unique<CWin32ClaimedFile>(*this, path, std::move(handle));
    return kSuccess;
}

// Nothing is ever moved away to claim it here.
Status CWin32FileSystem::RecoverClaims(const std::string&) {
    return kSuccess;
}

}  // namespace Platform::Win32
