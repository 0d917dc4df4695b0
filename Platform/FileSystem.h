// File concern: listing, attributes, moving, deleting and folders. Paths use the
// platform's own separator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

// A file taken from the folder that a sender writes into, so that the
// sender can no longer swap, extend or replace what is loaded and moved. Every
// step works on what the claim holds, never on the sender's path again. The
// file is released, and a lease or share lock on it dropped, when the object
// is destroyed: a file still held then goes back to the folder it was taken
// from (or, when a new file of its name has arrived there meanwhile, waits in
// the claim for the next claim of that name).
//
// Posix: the file was opened without following a link and without blocking,
// found to be a regular file with one link and not open for writing (a read
// lease, held until release), and renamed into a claim folder of the
// importer's (0700, on the same file system, below the nearest folder above
// the input folder that nobody else can change). Fake and Win32: the file
// stays where it is and the steps go by its path; Win32 holds it open with
// others denied write access, after checking that it is no reparse point
// and has one link (folder access lists guard the rest there).
//
// Thread rule: one thread at a time uses a claim (and destroys it).
class IClaimedFile {
public:
    virtual ~IClaimedFile() = default;

    // The path by which a database server on this machine reads the file;
    // the sender cannot change what it names.
    virtual std::string LoadPath() = 0;

    // The whole content. Success: 0.
    virtual Status Read(std::string* content) = 0;

    // The content from its start, piece by piece, to `take`, so that a
    // large file is never held whole in memory. Success: 0.
    virtual Status ReadPieces(const std::function<void(const char*, std::size_t)>& take) {
        std::string content;
        Status status = Read(&content);
        if (status == kSuccess)
            take(content.data(), content.size());
        return status;
    }

    // Replaces the content: a new file, mode 0600 and the importer's own, is
    // written through the name plus ".COPY", flushed and put in place in one
    // step, and held from then on. A read-only file stays read-only (0400).
    // On failure the content is unchanged and no ".COPY" is left.
    virtual Status Rewrite(const std::string& content) = 0;

    // Attributes as GetAttributes gives them, and the read-only one cleared.
    virtual Status GetAttributes(std::uint32_t* attributes) = 0;
    virtual Status ClearReadOnly() = 0;

    // Moves the file to `target`, replacing a file there, as Relocate does:
    // across file systems into a new file of mode 0600 (0400 when read-only),
    // never with the sender's mode bits. Both folders are flushed, so that the
    // move survives a power loss. Success: 0, and the claim holds nothing
    // more. Failure: as Relocate, and the file is still held.
    virtual Status MoveTo(const std::string& target) = 0;

    // Deletes the file. Success: 0 and nothing more is held. Read-only: 5.
    virtual Status Remove() = 0;
};

// Thread rule: safe to call from several threads at once; calls on different
// paths do not affect each other, and the caller orders calls on one path.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // Lists the entries of a folder whose names match `pattern` ('*' and '?',
    // letter case ignored), in the order the file system returns them; "." and
    // ".." never appear. Folders are listed only when `includeFolders` is set.
    // Success: 0 (an empty list included). Missing folder: 3. Not readable: 5.
    // REQUIRES: entries is not null.
    virtual Status ListFiles(const std::string& folder, const std::string& pattern,
                             bool includeFolders, std::vector<FileEntry>* entries) = 0;

    // Success: 0 and *attributes. A symbolic link gives its own attributes,
    // as on Windows: the reparse-point bit, with the folder bit when it names
    // a folder. Missing path: 2 (3 when a parent folder is missing). Every failing call of this
    // interface also stores its status as the thread's last error.
    // REQUIRES: attributes is not null.
    virtual Status GetAttributes(const std::string& path, std::uint32_t* attributes) = 0;

    // Sets or clears the read-only attribute (other bits are ignored). A
    // symbolic link is left as it is and its target untouched, also when the
    // file is swapped for a link during the call (Posix works on the opened
    // file, never on the path twice). Posix refuses a file with more than
    // one name (a hard link may name a file of anyone's): 5.
    // Success: 0. Missing path: 2 (3 when a parent folder is missing).
    virtual Status SetAttributes(const std::string& path, std::uint32_t attributes) = 0;

    // MoveFileExA with MOVEFILE_COPY_ALLOWED, and MOVEFILE_REPLACE_EXISTING
    // when `replaceExisting`. Across file systems the file is copied (into a
    // new file of mode 0600, or 0400 when read-only: no mode bit of the
    // source's is carried), flushed and then the source removed. Both
    // folders are flushed after the move. A symbolic link is moved as a link; its
    // target is never read or changed. Success: 0 and the source is gone. Target
    // exists and `replaceExisting` is false: 183. Target read-only or a
    // folder: 5. Missing source: 2 (3 when its folder is missing). Target
    // folder missing: 3. On any failure the source is left in place.
    // REQUIRES: `from` and `to` name different files.
    virtual Status Relocate(const std::string& from, const std::string& to,
                            bool replaceExisting) = 0;

    // Deletes a file. Success: 0. Missing: 2 (3 when a parent folder is
    // missing). Read-only file or a folder: 5.
    virtual Status RemoveFile(const std::string& path) = 0;

    // Creates one folder. Success: 0. Already there: 183. Parent missing: 3.
    virtual Status CreateFolder(const std::string& path) = 0;

    // True when `path` names an existing file or folder.
    virtual bool Exists(const std::string& path) = 0;

    // Reads the whole file into *content. Success: 0. Missing file: 2
    // (3 when a parent folder is missing). A folder, or a symbolic link
    // (never followed): 5. *content is left as it was on failure.
    // REQUIRES: content is not null.
    virtual Status ReadWhole(const std::string& path, std::string* content) = 0;

    // Replaces `path` with `content` so that a reader or a crash never sees
    // half a file: writes `temporaryPath` (beside it, replacing any file of
    // that name), flushes it to disk, then renames it over `path` in one
    // step. A new file is created when `path` is missing (0600 on Posix); an
    // existing one keeps its read and write permissions, never an execute,
    // setuid, setgid or sticky bit. Success: 0. Folder missing: 3. `path` read-only
    // or a folder: 5. On failure `path` is unchanged and `temporaryPath` is
    // removed. `readableByAll` is for files that other programs read (the
    // metrics): a new one is then 0644 on Posix, and an existing one gains
    // read for all; Windows applies the folder's access list either way.
    // REQUIRES: `temporaryPath` is in the folder of `path` and differs from
    // it; nobody else writes `temporaryPath` meanwhile.
    virtual Status ReplaceContent(const std::string& path, const std::string& content,
                                  const std::string& temporaryPath, bool readableByAll = false) = 0;

    // Whether `path` may decide what this process runs or where it moves
    // files: only the running user or the administrator may be able to
    // change it, or any folder on the way to it (a folder with the sticky
    // bit may be writable by all, as /tmp is). Success: 0. Another user can
    // change it: 5, and *reason (when not null) names the file or folder and
    // why. Missing: 2 (3 when a parent folder is missing). Windows protects
    // its program folders itself: there every existing path is trusted.
    virtual Status CheckTrusted(const std::string& path, std::string* reason) = 0;

    // Takes the file at `path` for its load (see IClaimedFile). Success: 0
    // and *claimed. Still being written (open for writing by any process, or,
    // where that cannot be known, changed in the last two seconds): 32, and
    // the file is left where it is. A symbolic link, a file with more than
    // one link, or no regular file: 5. Missing: 2 (3 when its folder is
    // missing). A file of the same name that an ended run left in the claim
    // is claimed in its place, and the new one waits for the next claim.
    // REQUIRES: claimed is not null; one process claims from a folder at a
    // time (the instance lock sees to that).
    virtual Status ClaimFile(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) = 0;

    // Gives back to `folder` every file that an ended run left claimed from
    // it, unless a file of its name is there again (that one is then claimed
    // after it). Success: 0, also when nothing was left.
    // REQUIRES: no claim from `folder` is held by this process.
    virtual Status RecoverClaims(const std::string& folder) = 0;
};

}  // namespace Platform
