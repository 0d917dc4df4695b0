// The two parts of a path around its last separator. The callers name the
// separators: the platform's own for the fake file system, both "\" and "/"
// for the importer's base-name cut, which is the same on both systems.
#pragma once
#include <string>
#include <string_view>

namespace Platform {

// What follows the last of `separators` in `path`; all of it when none is
// there.
inline std::string BaseName(const std::string& path, std::string_view separators) {
    size_t cut = path.find_last_of(separators);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// What comes before the last of `separators` in `path`; "" when none is
// there.
inline std::string ParentPath(const std::string& path, std::string_view separators) {
    size_t cut = path.find_last_of(separators);
    return cut == std::string::npos ? "" : path.substr(0, cut);
}

}  // namespace Platform
