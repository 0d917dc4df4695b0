#include "Platform/TemporaryName.h"

#include <cstdio>

#include "Platform/Platform.h"

namespace Platform {

namespace {

constexpr char kCsv[] = ".csv";
constexpr std::size_t kHashLength = 1 + 8;  // "~" and eight hex digits

// Where the last name of `path` starts.
std::size_t NameStart(const std::string& path) {
    std::size_t cut = path.find_last_of(PathSeparator() == '/' ? "/" : "\\/");
    return cut == std::string::npos ? 0 : cut + 1;
}

std::uint32_t Fnv1a(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

// The longest start of `name` of at most `limit` bytes that ends between two
// characters: a double-byte character of the code page stays whole, and so
// does a UTF-8 sequence where the code page has no double-byte characters.
std::size_t CharacterCut(const std::string& name, std::size_t limit) {
    std::size_t cut = 0;
    bool doubleByte = false;
    while (cut < name.size()) {
        std::size_t width = IsLeadByte(name[cut]) ? 2 : 1;
        doubleByte = doubleByte || width == 2;
        if (cut + width > limit)
            break;
        cut += width;
    }
    if (!doubleByte)
        while (cut > 0 && cut < name.size() &&
               (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
    return cut;
}

bool EndsWithCsv(const std::string& name, std::size_t end) {
    if (end < 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = name[end - 4 + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kCsv[i])
            return false;
    }
    return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string SuffixedName(const std::string& path, const std::string& suffix) {
    std::size_t start = NameStart(path);
    std::string name = path.substr(start);
    if (name.size() + suffix.size() <= kMaxNameLength)
        return path + suffix;
    // The extension is kept when it is short, so that what the name is stays
    // visible (and a ".csv" copy is still known as one).
    std::size_t dot = name.rfind('.');
    std::string extension =
        dot != std::string::npos && dot > 0 && name.size() - dot <= 8 ? name.substr(dot) : "";
    std::size_t room = kMaxNameLength - suffix.size() - extension.size() - kHashLength;
    std::string stem = name.substr(0, name.size() - extension.size());
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08x", static_cast<unsigned>(Fnv1a(name)));
    return path.substr(0, start) + stem.substr(0, CharacterCut(stem, room)) + hash + extension +
           suffix;
}

std::string MoveCopyName(const std::string& target, std::uint32_t pid) {
    return SuffixedName(target, kMoveCopySuffix + std::to_string(pid));
}

std::string RewriteCopyName(const std::string& path) {
    return SuffixedName(path, kRewriteCopySuffix);
}

TemporaryKind ParseTemporaryName(const std::string& name, std::uint32_t* pid) {
    if (EndsWith(name, kRewriteCopySuffix))
        return EndsWithCsv(name, name.size() - (sizeof kRewriteCopySuffix - 1))
                   ? TemporaryKind::RewriteCopy
                   : TemporaryKind::None;
    // ".mv" and a process id: decimal, no leading zero, and within 32 bits.
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    std::size_t count = name.size() - digits;
    const std::size_t mv = sizeof kMoveCopySuffix - 1;
    if (count == 0 || count > 10 || name[digits] == '0' || digits < mv ||
        name.compare(digits - mv, mv, kMoveCopySuffix) != 0 || !EndsWithCsv(name, digits - mv))
        return TemporaryKind::None;
    std::uint64_t value = std::stoull(name.substr(digits));
    if (value > UINT32_MAX)
        return TemporaryKind::None;
    if (pid)
        *pid = static_cast<std::uint32_t>(value);
    return TemporaryKind::MoveCopy;
}

}  // namespace Platform
