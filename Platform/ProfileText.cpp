// Private-profile semantics: splitting a file into sections and entries, the
// read with its trimming, quote removal and truncation, and the rewrite.
#include "Platform/ProfileText.h"

#include <strings.h>
#include <cstring>
#include <vector>

namespace Platform {

namespace {

const char* const kBlanks = " \t\r\n";

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

bool SameName(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

struct Line {
    size_t begin, end;  // byte range of the line without its line end
    enum Kind { kBlank, kComment, kSection, kEntry, kOther } kind;
    std::string name;   // section or key name, trimmed
    std::string value;  // entry value, trimmed, quotes removed
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t next = nl == std::string::npos ? text.size() : nl + 1;
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (end > pos && text[end - 1] == '\r')
            --end;
        Line line{pos, end, Line::kOther, {}, {}};
        std::string body = Trim(text.substr(pos, end - pos));
        if (body.empty()) {
            line.kind = Line::kBlank;
        } else if (body[0] == ';') {
            line.kind = Line::kComment;
        } else if (body[0] == '[') {
            size_t close = body.find(']');
            line.kind = Line::kSection;
            line.name = Trim(body.substr(1, close == std::string::npos ? close : close - 1));
        } else if (size_t eq = body.find('='); eq != std::string::npos) {
            line.kind = Line::kEntry;
            line.name = Trim(body.substr(0, eq));
            std::string v = Trim(body.substr(eq + 1));
            if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
                v = v.substr(1, v.size() - 2);
            line.value = v;
        }
        lines.push_back(line);
        pos = next;
    }
    return lines;
}

// Index of the first line of the first section named `section`, or -1.
long FindSection(const std::vector<Line>& lines, const char* section) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::kSection && SameName(lines[i].name, section))
            return static_cast<long>(i);
    return -1;
}

std::uint32_t CopyOut(const std::string& value, char* buffer, std::uint32_t size) {
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

// Packs names NUL-separated with a closing extra NUL; cut lists return size - 2.
std::uint32_t CopyList(const std::vector<std::string>& names, char* buffer, std::uint32_t size) {
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    size_t used = 0;
    for (const std::string& name : names) {
        if (used + name.size() + 1 > size - 1) {
            size_t room = size - 1 - used;
            if (room > 0) {
                std::memcpy(buffer + used, name.data(), room - 1);
                buffer[used + room - 1] = '\0';
            }
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + used, name.c_str(), name.size() + 1);
        used += name.size() + 1;
    }
    buffer[used] = '\0';
    return static_cast<std::uint32_t>(used);
}

}  // namespace

std::uint32_t ProfileGetString(const std::string* text, const char* section, const char* key,
                               const char* defaultValue, char* buffer, std::uint32_t size) {
    if (!buffer || size == 0)
        return 0;
    std::vector<Line> lines = text ? SplitLines(*text) : std::vector<Line>{};
    if (!section) {
        std::vector<std::string> names;
        for (const Line& l : lines)
            if (l.kind == Line::kSection)
                names.push_back(l.name);
        return CopyList(names, buffer, size);
    }
    long start = FindSection(lines, section);
    if (!key) {
        std::vector<std::string> names;
        for (size_t i = start + 1; start >= 0 && i < lines.size(); ++i) {
            if (lines[i].kind == Line::kSection)
                break;
            if (lines[i].kind == Line::kEntry)
                names.push_back(lines[i].name);
        }
        return CopyList(names, buffer, size);
    }
    for (size_t i = start + 1; start >= 0 && i < lines.size(); ++i) {
        if (lines[i].kind == Line::kSection)
            break;
        if (lines[i].kind == Line::kEntry && SameName(lines[i].name, key))
            return CopyOut(lines[i].value, buffer, size);
    }
    std::string fallback = defaultValue ? defaultValue : "";
    size_t last = fallback.find_last_not_of(' ');
    fallback.erase(last == std::string::npos ? 0 : last + 1);
    return CopyOut(fallback, buffer, size);
}

bool ProfileWriteString(std::string& text, const char* section, const char* key,
                        const char* value) {
    if (!section)
        return false;
    std::vector<Line> lines = SplitLines(text);
    long start = FindSection(lines, section);
    if (start < 0) {
        if (!key || !value)
            return true;  // nothing to remove
        if (!text.empty() && text.back() != '\n')
            text += "\r\n";
        text += std::string("[") + section + "]\r\n" + key + "=" + value + "\r\n";
        return true;
    }
    size_t sectionEnd = lines.size();  // first line after the section
    size_t lastEntry = start;          // last non-blank line of the section
    for (size_t i = start + 1; i < lines.size(); ++i) {
        if (lines[i].kind == Line::kSection) {
            sectionEnd = i;
            break;
        }
        if (lines[i].kind != Line::kBlank)
            lastEntry = i;
    }
    auto lineStart = [&](size_t i) { return i < lines.size() ? lines[i].begin : text.size(); };
    if (!key) {
        text.erase(lines[start].begin, lineStart(sectionEnd) - lines[start].begin);
        return true;
    }
    for (size_t i = start + 1; i < sectionEnd; ++i) {
        if (lines[i].kind == Line::kEntry && SameName(lines[i].name, key)) {
            if (!value)
                text.erase(lines[i].begin, lineStart(i + 1) - lines[i].begin);
            else
                text.replace(lines[i].begin, lines[i].end - lines[i].begin,
                             lines[i].name + "=" + value);
            return true;
        }
    }
    if (!value)
        return true;
    size_t at = lineStart(lastEntry + 1);
    std::string entry = std::string(key) + "=" + value + "\r\n";
    if (at == text.size() && !text.empty() && text.back() != '\n')
        entry = "\r\n" + entry;
    text.insert(at, entry);
    return true;
}

}  // namespace Platform
