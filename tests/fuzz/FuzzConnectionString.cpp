// The connection-string parser on any text: every attribute it returns has
// a key, and the first one of a key is the one FindAttribute gives back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform/Ado/Provider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<Ado::ConnectionAttribute> attributes = Ado::ParseConnectionString(text);
    for (const Ado::ConnectionAttribute& a : attributes) {
        if (!Ado::FindAttribute(attributes, a.key))
            std::abort();
    }
    Ado::FindAttribute(attributes, "Provider");
    Ado::FindAttribute(attributes, "Data Source");
    return 0;
}
