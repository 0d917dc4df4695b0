// Claims on Windows: the file stays where it is, held open with read access
// while others are denied write access (a writer that still has it open
// makes the open fail with a sharing violation, and none can open it for
// writing while it is held). The handle shows what was opened: no reparse
// point, one link, a disk file. The steps then go by the path, which the
// folders' access lists guard. Delete sharing is granted, so that the
// importer's own move and delete work while the handle is held.
#include "Platform/TemporaryName.h"
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

class CWin32ClaimedFile : public IClaimedFile {
public:
    CWin32ClaimedFile(CWin32FileSystem& files, std::string path, CFileHandle handle)
        : m_files(files), m_path(std::move(path)), m_handle(std::move(handle)) {}

    std::string LoadPath() override { return m_path; }
    Status Read(std::string* content) override { return m_files.ReadWhole(m_path, content); }
    // The replace renames over the held file: the hold ends for that step
    // and is taken again on the new file. A read-only file is replaced too,
    // and stays read-only.
    Status Rewrite(const std::string& content) override {
        std::uint32_t attributes = 0;
        if (Status s = m_files.GetAttributes(m_path, &attributes))
            return s;
        bool readOnly = attributes & kAttributeReadOnly;
        m_handle.Close();
        Status status = readOnly ? m_files.SetAttributes(m_path, kAttributeNormal) : kSuccess;
        if (status == kSuccess)
            status = m_files.ReplaceContent(m_path, content, RewriteCopyName(m_path), false);
        if (readOnly)
            m_files.SetAttributes(m_path, kAttributeReadOnly);
        OpenClaimed(m_path, &m_handle);
        return status == kSuccess ? status : Fail(status);
    }
    Status GetAttributes(std::uint32_t* attributes) override {
        return m_files.GetAttributes(m_path, attributes);
    }
    Status ClearReadOnly() override {
        std::uint32_t attributes = 0;
        if (Status s = m_files.GetAttributes(m_path, &attributes))
            return s;
        return m_files.SetAttributes(m_path, attributes & ~kAttributeReadOnly);
    }
    Status MoveTo(const std::string& target) override {
        m_handle.Close();
        Status status = m_files.Relocate(m_path, target, true);
        if (status != kSuccess)
            OpenClaimed(m_path, &m_handle);
        return status;
    }
    Status Remove() override {
        m_handle.Close();
        Status status = m_files.RemoveFile(m_path);
        if (status != kSuccess)
            OpenClaimed(m_path, &m_handle);
        return status;
    }

private:
    CWin32FileSystem& m_files;
    std::string m_path;
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
