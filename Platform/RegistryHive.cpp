// Registry hive: regedit text in and out, and the Win32 registry calls on top.
//
//   Text helpers       folding, UTF-16LE input, string escapes, hex lists
//   CRegistryStore     Parse, Serialize, key lookup
//   CHiveRegistry      OpenKey, CreateKey, CloseKey, QueryValue, SetValue
#include "Platform/RegistryHive.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace Platform {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

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
    std::string lower = Lower(rhs);
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

// ---------------------------------------------------------------- the store

CRegistryStore::Value* CRegistryStore::Key::FindValue(const std::string& name) {
    std::string folded = Lower(name);
    for (Value& v : values)
        if (Lower(v.name) == folded)
            return &v;
    return nullptr;
}

const CRegistryStore::Value* CRegistryStore::Key::FindValue(const std::string& name) const {
    return const_cast<Key*>(this)->FindValue(name);
}

std::string CRegistryStore::Fold(const std::string& path) {
    std::string p = Lower(path);
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return p;
}

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

CRegistryStore::Key* CRegistryStore::FindKey(const std::string& path) {
    auto it = m_keys.find(Fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

const CRegistryStore::Key* CRegistryStore::FindKey(const std::string& path) const {
    auto it = m_keys.find(Fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

std::vector<const CRegistryStore::Key*> CRegistryStore::Keys() const {
    std::vector<const Key*> keys;
    for (const auto& entry : m_keys) keys.push_back(&entry.second);
    return keys;
}

bool CRegistryStore::KeyExists(const std::string& path) const {
    std::string folded = Fold(path);
    auto it = m_keys.lower_bound(folded);
    if (it == m_keys.end())
        return false;
    return it->first == folded || it->first.rfind(folded + "\\", 0) == 0;
}

CRegistryStore::Key& CRegistryStore::EnsureKey(const std::string& path, bool* created) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    auto [it, inserted] = m_keys.try_emplace(Fold(trimmed));
    if (inserted)
        it->second.path = trimmed;
    *created = inserted;
    return it->second;
}

// --------------------------------------------------------- registry calls

Status CHiveRegistry::ResolvePath(RegKey parent, const std::string& subKey, std::string* path) {
    if (parent == kHKeyLocalMachine) {
        *path = "HKEY_LOCAL_MACHINE";
    } else {
        auto it = m_open.find(parent);
        if (it == m_open.end())
            return kInvalidHandle;
        *path = it->second.path;
    }
    std::string sub = subKey;
    while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    if (!sub.empty())
        *path += "\\" + sub;
    return kSuccess;
}

RegKey CHiveRegistry::Remember(const std::string& path, std::uint32_t access) {
    RegKey handle = m_next++;
    m_open[handle] = OpenedKey{path, access};
    return handle;
}

namespace {
bool WantsWrite(std::uint32_t access) {
    return (access & (kKeySetValue | kKeyCreateSubKey)) != 0;
}
}  // namespace

Status CHiveRegistry::OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                              RegKey* key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string path;
    if (Status s = ResolvePath(parent, subKey, &path))
        return s;
    std::shared_ptr<const CRegistryStore> store;
    if (Status s = m_backing.LoadShared(&store))
        return s;
    if (!store->KeyExists(path))
        return kFileNotFound;
    if (WantsWrite(access) && !m_backing.Writable())
        return kAccessDenied;
    *key = Remember(path, access);
    return kSuccess;
}

Status CHiveRegistry::CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                                RegKey* key, std::uint32_t* disposition) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string path;
    if (Status s = ResolvePath(parent, subKey, &path))
        return s;
    CRegistryStore store;
    if (Status s = m_backing.Load(&store))
        return s;
    bool created = false;
    if (!store.KeyExists(path)) {
        if (!m_backing.Writable())
            return kAccessDenied;
        store.EnsureKey(path, &created);
        if (Status s = m_backing.Save(store))
            return s;
    } else if (WantsWrite(access) && !m_backing.Writable()) {
        return kAccessDenied;
    }
    if (disposition)
        *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    *key = Remember(path, access);
    return kSuccess;
}

Status CHiveRegistry::CloseKey(RegKey key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open.erase(key) ? kSuccess : kInvalidHandle;
}

Status CHiveRegistry::QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type,
                                 void* data, std::uint32_t* size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_open.find(key);
    if (it == m_open.end())
        return kInvalidHandle;
    if (!(it->second.access & kKeyQueryValue))
        return kAccessDenied;
    std::shared_ptr<const CRegistryStore> store;
    if (Status s = m_backing.LoadShared(&store))
        return s;
    const CRegistryStore::Key* stored = store->FindKey(it->second.path);
    const CRegistryStore::Value* value = stored ? stored->FindValue(valueName) : nullptr;
    if (!value)
        return kFileNotFound;
    if (type)
        *type = value->type;
    auto needed = static_cast<std::uint32_t>(value->data.size());
    if (!data) {
        if (size)
            *size = needed;
        return kSuccess;
    }
    if (!size || *size < needed) {
        if (size)
            *size = needed;
        return kMoreData;
    }
    std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return kSuccess;
}

Status CHiveRegistry::SetValue(RegKey key, const std::string& valueName, std::uint32_t type,
                               const void* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_open.find(key);
    if (it == m_open.end())
        return kInvalidHandle;
    if (!(it->second.access & kKeySetValue) || !m_backing.Writable())
        return kAccessDenied;
    CRegistryStore store;
    if (Status s = m_backing.Load(&store))
        return s;
    bool created = false;
    CRegistryStore::Key& stored = store.EnsureKey(it->second.path, &created);
    CRegistryStore::Value value{valueName, type,
                                std::string(static_cast<const char*>(data), data ? size : 0)};
    if (CRegistryStore::Value* existing = stored.FindValue(valueName))
        *existing = value;
    else
        stored.values.push_back(value);
    return m_backing.Save(store);
}

}  // namespace Platform
