// File concern: listing, attributes, moving, deleting and folders. Paths use the
// platform's own separator.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Status.h"

namespace Platform {

// Attribute bits (FILE_ATTRIBUTE_*).
constexpr std::uint32_t kAttributeReadOnly = 0x01;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeNormal = 0x80;

struct FileEntry {
    std::string name;  // base name, as stored
    std::uint32_t attributes = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // Lists the entries of a folder whose names match `pattern` ('*' and '?',
    // letter case ignored), in the order the file system returns them; "." and
    // ".." never appear. Folders are listed only when `includeFolders` is set.
    // Success: 0 (an empty list included). Missing folder: 3. Not readable: 5.
    virtual Status ListFiles(const std::string& folder, const std::string& pattern,
                             bool includeFolders, std::vector<FileEntry>* entries) = 0;

    // Success: 0 and *attributes. Missing path: 2 (3 when a parent folder is
    // missing).
    virtual Status GetAttributes(const std::string& path, std::uint32_t* attributes) = 0;

    // Sets or clears the read-only attribute (other bits are ignored).
    // Success: 0. Missing path: 2.
    virtual Status SetAttributes(const std::string& path, std::uint32_t attributes) = 0;

    // MoveFileExA with MOVEFILE_COPY_ALLOWED, and MOVEFILE_REPLACE_EXISTING
    // when `replaceExisting`. Across file systems the file is copied, flushed
    // and then the source removed. Success: 0 and the source is gone. Target
    // exists and `replaceExisting` is false: 183. Missing source: 2.
    // On any failure the source is left in place.
    virtual Status MoveFile(const std::string& from, const std::string& to,
                            bool replaceExisting) = 0;

    // Deletes a file. Success: 0. Missing: 2. Read-only file: 5.
    virtual Status RemoveFile(const std::string& path) = 0;

    // Creates one folder. Success: 0. Already there: 183. Parent missing: 3.
    virtual Status CreateFolder(const std::string& path) = 0;

    // True when `path` names an existing file or folder.
    virtual bool Exists(const std::string& path) = 0;
};

}  // namespace Platform
