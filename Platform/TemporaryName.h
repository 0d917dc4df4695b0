// The names this program gives files for a moment beside another one: the
// copy of a move across file systems ("<name>.mv<pid>") and the copy of the
// install-software rewrite ("<name>.COPY"); and the ".err" name of a file
// that could not be moved. Each name fits the file system's limit for one
// name whatever the length of the name it is made from, and the cleanup
// after a crash recognises the temporary ones by these rules alone.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

// Longest name of one folder entry, in bytes (NAME_MAX on Linux; NTFS and
// FAT allow 255 characters, which is never fewer bytes).
constexpr std::size_t kMaxNameLength = 255;

constexpr char kMoveCopySuffix[] = ".mv";
constexpr char kRewriteCopySuffix[] = ".COPY";
constexpr char kErrorSuffix[] = ".err";

// `path` followed by `suffix` when its last name then fits kMaxNameLength.
// Otherwise that name is cut short (never inside a character) and "~" and
// eight hexadecimal digits of a hash of the whole name are put between the
// cut and the name's extension, then `suffix`: distinct long names give
// distinct results, and the result always ends in the extension and the
// suffix.
std::string SuffixedName(const std::string& path, const std::string& suffix);

// The copy beside `target` of a move across file systems made by `pid`.
std::string MoveCopyName(const std::string& target, std::uint32_t pid);

// The copy beside `path` of the install-software rewrite.
std::string RewriteCopyName(const std::string& path);

enum class TemporaryKind { None, MoveCopy, RewriteCopy };

// What a base name found in a folder is: a move copy of a ".csv" file (and
// *pid the process that made it), a rewrite copy of a ".csv" file, or none
// of them. The ".csv" is matched without letter case, the suffixes exactly.
TemporaryKind ParseTemporaryName(const std::string& name, std::uint32_t* pid);

}  // namespace Platform
