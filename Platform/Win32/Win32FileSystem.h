// The files concern on the Win32 API.
#pragma once
#include "Platform/FileSystem.h"

namespace Platform::Win32 {

class CWin32FileSystem : public IFileSystem {
public:
    Status ListFiles(const std::string& folder, const std::string& pattern, bool includeFolders,
                     std::vector<FileEntry>* entries) override;
    Status GetAttributes(const std::string& path, std::uint32_t* attributes) override;
    Status SetAttributes(const std::string& path, std::uint32_t attributes) override;
    Status Relocate(const std::string& from, const std::string& to, bool replaceExisting) override;
    Status RemoveFile(const std::string& path) override;
    Status CreateFolder(const std::string& path) override;
    bool Exists(const std::string& path) override;
    Status ReadWhole(const std::string& path, std::string* content) override;
    Status ReplaceContent(const std::string& path, const std::string& content,
                          const std::string& temporaryPath, bool readableByAll) override;
    Status CheckTrusted(const std::string& path, std::string* reason) override;
    Status ClaimFile(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) override;
    Status RecoverClaims(const std::string& folder) override;
};

// The thread's last error as a seam status: GetLastError, or the general
// failure when a call failed without setting one.
Status LastStatus();

// Stores `status` as the thread's last error and returns it.
Status Fail(Status status);

}  // namespace Platform::Win32
