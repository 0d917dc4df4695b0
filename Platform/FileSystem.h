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
constexpr std::uint32_t kAttributeReparsePoint = 0x400;  // a symbolic link

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

    // Success: 0 and *attributes. A symbolic link gives its own attributes,
    // as on Windows: the reparse-point bit, with the folder bit when it names
    // a folder. Missing path: 2 (3 when a parent folder is missing). Every failing call of this
    // interface also stores its status as the thread's last error.
    virtual Status GetAttributes(const std::string& path, std::uint32_t* attributes) = 0;

    // Sets or clears the read-only attribute (other bits are ignored). A
    // symbolic link is left as it is and its target untouched.
    // Success: 0. Missing path: 2 (3 when a parent folder is missing).
    virtual Status SetAttributes(const std::string& path, std::uint32_t attributes) = 0;

    // MoveFileExA with MOVEFILE_COPY_ALLOWED, and MOVEFILE_REPLACE_EXISTING
    // when `replaceExisting`. Across file systems the file is copied, flushed
    // and then the source removed. A symbolic link is moved as a link; its
    // target is never read or changed. Success: 0 and the source is gone. Target
    // exists and `replaceExisting` is false: 183. Target read-only or a
    // folder: 5. Missing source: 2 (3 when its folder is missing). Target
    // folder missing: 3. On any failure the source is left in place.
    virtual Status MoveFile(const std::string& from, const std::string& to,
                            bool replaceExisting) = 0;

    // Deletes a file. Success: 0. Missing: 2 (3 when a parent folder is
    // missing). Read-only file or a folder: 5.
    virtual Status RemoveFile(const std::string& path) = 0;

    // Creates one folder. Success: 0. Already there: 183. Parent missing: 3.
    virtual Status CreateFolder(const std::string& path) = 0;

    // True when `path` names an existing file or folder.
    virtual bool Exists(const std::string& path) = 0;

    // Reads the whole file into *content. Success: 0. Missing file: 2
    // (3 when a parent folder is missing). A folder: 5. *content is left
    // as it was on failure.
    virtual Status ReadFile(const std::string& path, std::string* content) = 0;

    // Replaces `path` with `content` so that a reader or a crash never sees
    // half a file: writes `temporaryPath` (beside it, replacing any file of
    // that name), flushes it to disk, then renames it over `path` in one
    // step. A new file is created when `path` is missing; an existing one
    // keeps its permissions. Success: 0. Folder missing: 3. `path` read-only
    // or a folder: 5. On failure `path` is unchanged and `temporaryPath` is
    // removed.
    virtual Status ReplaceFile(const std::string& path, const std::string& content,
                               const std::string& temporaryPath) = 0;

    // Whether `path` may decide what this process runs or where it moves
    // files: only the running user or the administrator may be able to
    // change it, or any folder on the way to it (a folder with the sticky
    // bit may be writable by all, as /tmp is). Success: 0. Another user can
    // change it: 5, and *reason (when not null) names the file or folder and
    // why. Missing: 2 (3 when a parent folder is missing). Windows protects
    // its program folders itself: there every existing path is trusted.
    virtual Status CheckTrusted(const std::string& path, std::string* reason) = 0;
};

}  // namespace Platform
