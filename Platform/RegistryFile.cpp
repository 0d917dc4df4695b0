// The regedit export format: reading a hive from its text and writing it back.
//
//   Text helpers       UTF-16LE input, string escapes, hex lists, value data
//   CRegistryStore     Parse, Serialize
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "Platform/RegistryHive.h"

namespace Platform {

namespace {

// Real Windows exports of version 5.00 are UTF-16LE with a byte order mark.
std::string Utf16LeToUtf8(const std::string& bytes) {
    std::string out;
    auto unit = [&](size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
            unsigned low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Reads a quoted string starting at text[pos] == '"'; handles \\ and \".
// Returns false when the closing quote is missing.
bool ReadQuoted(const std::string& text, size_t& pos, std::string* out) {
    out->clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '\\' && pos + 1 < text.size()) {
            *out += text[++pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            *out += c;
        }
    }
    return false;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// "aa,bb,cc" into bytes; false on anything that is not a two-digit hex byte.
bool ParseHexList(const std::string& list, std::string* bytes) {
    bytes->clear();
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        item.erase(std::remove_if(item.begin(), item.end(),
                                  [](unsigned char c) { return std::isspace(c); }),
                   item.end());
        if (item.empty())
            continue;
        if (item.size() > 2 || !std::isxdigit(static_cast<unsigned char>(item[0])) ||
            (item.size() == 2 && !std::isxdigit(static_cast<unsigned char>(item[1]))))
            return false;
        bytes->push_back(static_cast<char>(std::stoul(item, nullptr, 16)));
    }
    return true;
}

// Parses the part after '=' of a value line into type and data.
bool ParseData(const std::string& rhs, CRegistryStore::Value* value) {
    if (!rhs.empty() && rhs[0] == '"') {
        size_t pos = 0;
        std::string text;
        if (!ReadQuoted(rhs, pos, &text))
            return false;
        if (rhs.find_first_not_of(" \t", pos) != std::string::npos)
            return false;
        value->type = kRegSz;
        value->data = text + '\0';
        return true;
    }
    std::string lower = FoldRegistryName(rhs);
    if (lower.rfind("dword:", 0) == 0) {
        std::string digits = rhs.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        std::uint32_t v = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        value->type = kRegDword;
        value->data.assign(reinterpret_cast<const char*>(&v), 4);
        return true;
    }
    if (lower.rfind("hex", 0) == 0) {
        size_t colon = lower.find(':');
        if (colon == std::string::npos)
            return false;
        std::string kind = lower.substr(3, colon - 3);
        value->type = kRegBinary;
        if (!kind.empty()) {
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')')
                return false;
            std::string t = kind.substr(1, kind.size() - 2);
            // A type is 32 bits: more digits make the line unreadable.
            if (t.empty() || t.size() > 8 ||
                t.find_first_not_of("0123456789abcdef") != std::string::npos)
                return false;
            value->type = static_cast<std::uint32_t>(std::stoul(t, nullptr, 16));
        }
        return ParseHexList(rhs.substr(colon + 1), &value->data);
    }
    return false;
}

}  // namespace

CRegistryStore CRegistryStore::Parse(const std::string& raw, std::vector<std::string>* skipped) {
    CRegistryStore store;
    std::string text = raw;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE)
        text = Utf16LeToUtf8(text);
    else if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);

    // Join continuation lines (a hex list ending in '\') before parsing.
    std::vector<std::pair<int, std::string>> lines;
    {
        std::stringstream in(text);
        std::string line;
        int number = 0;
        bool continuing = false;
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (continuing) {
                size_t start = line.find_first_not_of(" \t");
                lines.back().second += start == std::string::npos ? "" : line.substr(start);
            } else {
                lines.emplace_back(number, line);
            }
            std::string& last = lines.back().second;
            continuing = !last.empty() && last.back() == '\\' && last.find("=hex") != last.npos;
            if (continuing)
                last.pop_back();
        }
    }

    auto skip = [&](int number, const std::string& why) {
        if (skipped)
            skipped->push_back("line " + std::to_string(number) + ": " + why);
    };
    Key* current = nullptr;
    bool headerSeen = false;
    for (auto& [number, line] : lines) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        std::string body = line.substr(start);
        if (!headerSeen) {
            if (body == "Windows Registry Editor Version 5.00" || body == "REGEDIT4") {
                store.m_header = body;
                headerSeen = true;
                continue;
            }
            skip(number, "missing header");
            headerSeen = true;
        }
        if (body[0] == ';')
            continue;
        if (body[0] == '[') {
            size_t close = body.rfind(']');
            if (close == std::string::npos || close == 1) {
                skip(number, "unterminated key name");
                current = nullptr;
                continue;
            }
            std::string path = body.substr(1, close - 1);
            if (path[0] == '-') {  // key deletion: nothing to hold
                current = nullptr;
                continue;
            }
            bool created = false;
            current = &store.EnsureKey(path, &created);
            continue;
        }
        if (!current) {
            skip(number, "value outside a key");
            continue;
        }
        Value value;
        size_t pos = 0;
        if (body[0] == '@') {
            pos = 1;
        } else if (body[0] != '"' || !ReadQuoted(body, pos, &value.name)) {
            skip(number, "unreadable value name");
            continue;
        }
        size_t eq = body.find_first_not_of(" \t", pos);
        if (eq == std::string::npos || body[eq] != '=') {
            skip(number, "missing '='");
            continue;
        }
        std::string rhs = body.substr(eq + 1);
        rhs.erase(0, rhs.find_first_not_of(" \t"));
        if (rhs == "-")
            continue;  // value deletion
        if (!ParseData(rhs, &value)) {
            skip(number, "unreadable data");
            continue;
        }
        if (Value* existing = current->FindValue(value.name))
            *existing = value;
        else
            current->values.push_back(value);
    }
    return store;
}

std::string CRegistryStore::Serialize() const {
    std::string out = m_header + "\r\n";
    char hex[16];
    for (const auto& [folded, key] : m_keys) {
        out += "\r\n[" + key.path + "]\r\n";
        for (const Value& v : key.values) {
            out += v.name.empty() ? std::string("@") : Quote(v.name);
            out += '=';
            if (v.type == kRegSz && !v.data.empty() && v.data.back() == '\0' &&
                v.data.find('\0') == v.data.size() - 1) {
                out += Quote(v.data.substr(0, v.data.size() - 1));
            } else if (v.type == kRegDword && v.data.size() == 4) {
                std::uint32_t d;
                std::memcpy(&d, v.data.data(), 4);
                std::snprintf(hex, sizeof hex, "%08x", d);
                out += std::string("dword:") + hex;
            } else {
                if (v.type == kRegBinary) {
                    out += "hex:";
                } else {
                    std::snprintf(hex, sizeof hex, "%x", v.type);
                    out += std::string("hex(") + hex + "):";
                }
                for (size_t i = 0; i < v.data.size(); ++i) {
                    std::snprintf(hex, sizeof hex, "%s%02x", i ? "," : "",
                                  static_cast<unsigned char>(v.data[i]));
                    out += hex;
                }
            }
            out += "\r\n";
        }
    }
    return out;
}

}  // namespace Platform
