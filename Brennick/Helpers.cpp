#include "Brennick/Helpers.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform/Platform.h"

std::string GetModuleDirectory(Platform::ISystem& system) {
    std::string path = system.ModuleFileName();
    // Both separators end a folder name, as _splitpath sees them on Windows.
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (Platform::IsLeadByte(path[i])) {
            ++i;
            continue;
        }
        if (path[i] == '/' || path[i] == Platform::PathSeparator())
            cut = i;
    }
    return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

std::string GetModuleFilePath(Platform::ISystem& system, const char* fileName) {
    return GetModuleDirectory(system) + (fileName ? fileName : "");
}

std::string GetSystemErrorText(Platform::ISystem& system, Platform::Status code) {
    return system.ErrorText(code);
}

std::size_t FindText(const std::string& text, const std::string& needle, std::size_t from) {
    if (needle.empty())
        return from <= text.size() ? from : std::string::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (text.compare(i, needle.size(), needle) == 0)
            return i;
        if (Platform::IsLeadByte(text[i]))
            ++i;
    }
    return std::string::npos;
}

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

bool TrimBlanks(char* text) {
    if (!text)
        return false;
    size_t length = std::strlen(text);
    size_t end = length;
    while (end > 0 && IsBlank(text[end - 1])) --end;
    size_t start = 0;
    while (start < end && IsBlank(text[start])) ++start;
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
    return end - start != length;
}

bool TrimBlanks(std::string& text) {
    size_t length = text.size();
    size_t end = length;
    while (end > 0 && IsBlank(text[end - 1])) --end;
    size_t start = 0;
    while (start < end && IsBlank(text[start])) ++start;
    text = text.substr(start, end - start);
    return text.size() != length;
}

std::size_t SplitList(const char* source, char* output, std::size_t size, const char* delimiter,
                      bool trim) {
    if (!source || !output || size == 0)
        return 0;
    std::memset(output, 0, size);
    if (!*source)
        return 0;
    std::string text = source;
    if (delimiter && !*delimiter) {
        size_t n = std::min(text.size(), size - 1);
        std::memcpy(output, text.data(), n);
        return n;
    }
    const std::string separator = delimiter ? delimiter : ",";
    size_t used = 0;
    auto store = [&](std::string item) {
        if (trim)
            TrimBlanks(item);
        if (item.empty() || used + 2 > size)
            return;
        size_t room = size - used - 2;  // leaves the item's NUL and the list's NUL
        size_t n = std::min(item.size(), room);
        if (n == 0)
            return;
        std::memcpy(output + used, item.data(), n);
        output[used + n] = '\0';
        used += n + 1;
    };
    size_t pos = 0;
    for (size_t at; (at = FindText(text, separator, pos)) != std::string::npos;
         pos = at + separator.size())
        store(text.substr(pos, at - pos));
    store(text.substr(pos));
    output[used] = '\0';
    return used;
}

int ForEachInList(const char* list, ListVisitor visitor, void* context) {
    if (!list || !visitor)
        return 0;
    for (const char* item = list; *item; item += std::strlen(item) + 1)
        if (!visitor(item, context))
            return 0;
    return 1;
}

bool ParseBool(const char* text, bool defaultValue) {
    if (!text || !*text)
        return defaultValue;
    if (strcasecmp(text, "true") == 0 || strcasecmp(text, "yes") == 0)
        return true;
    return std::strtol(text, nullptr, 10) != 0;
}

int ValidBase(int base) {
    return base == 2 || base == 8 || base == 16 ? base : 10;
}

std::string FormatBinary(std::uint64_t value, int maxDigits) {
    std::string digits;
    do {
        digits += (value & 1) ? '1' : '0';
        value >>= 1;
    } while (value != 0 && static_cast<int>(digits.size()) < maxDigits);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string FormatUnsigned(std::uint32_t value, int base) {
    char buffer[65];
    switch (ValidBase(base)) {
        case 2:
            return FormatBinary(value, 64);
        case 8:
            std::snprintf(buffer, sizeof buffer, "%o", value);
            break;
        case 16:
            std::snprintf(buffer, sizeof buffer, "%X", value);
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "%u", value);
    }
    return buffer;
}

std::string FormatSigned(std::int32_t value, int base) {
    if (ValidBase(base) != 10)
        return FormatUnsigned(static_cast<std::uint32_t>(value), base);
    return std::to_string(value);
}

std::string CopySpan(const char* start, const char* end) {
    if (!start || !end || end < start)
        return "";
    return std::string(start, end);
}
