// The connection-string parser: "Key=Value;Key={Value;with;semicolons};...".
#include <strings.h>

#include "Platform/Ado/Provider.h"

namespace Ado {

std::vector<ConnectionAttribute> ParseConnectionString(const std::string& text) {
    std::vector<ConnectionAttribute> attributes;
    auto trim = [](const std::string& s) {
        size_t b = s.find_first_not_of(" \t");
        if (b == std::string::npos)
            return std::string();
        return s.substr(b, s.find_last_not_of(" \t") - b + 1);
    };
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eq = text.find('=', pos);
        size_t semi = text.find(';', pos);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            if (semi == std::string::npos)
                break;
            pos = semi + 1;  // an item without '=' is ignored
            continue;
        }
        std::string key = trim(text.substr(pos, eq - pos));
        size_t valueStart = text.find_first_not_of(" \t", eq + 1);
        std::string value;
        if (valueStart != std::string::npos && text[valueStart] == '{') {
            size_t close = text.find('}', valueStart);
            if (close == std::string::npos)
                close = text.size();
            value = text.substr(valueStart + 1, close - valueStart - 1);
            semi = text.find(';', close);
        } else {
            semi = text.find(';', eq + 1);
            value = trim(text.substr(eq + 1, semi == std::string::npos ? semi : semi - eq - 1));
        }
        if (!key.empty())
            attributes.push_back({key, value});
        if (semi == std::string::npos)
            break;
        pos = semi + 1;
    }
    return attributes;
}

const std::string* FindAttribute(const std::vector<ConnectionAttribute>& attributes,
                                 const std::string& key) {
    for (const ConnectionAttribute& a : attributes)
        if (strcasecmp(a.key.c_str(), key.c_str()) == 0)
            return &a.value;
    return nullptr;
}

}  // namespace Ado
