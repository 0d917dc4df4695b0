// The classification of a file name on any bytes: a kind is -1 or 0 to 16,
// and a name of a kind ends in ".csv" and has that kind's key at the start
// of its base name (letter case ignored).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform/Fake/FakePlatform.h"
#include "Server/Ferrowin/LogCollect.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Platform::CFakePlatform* fake = new Platform::CFakePlatform;
    static CEventBinding* events = new CEventBinding(fake->Get());
    static CLogCollect* collect = new CLogCollect(fake->Get(), *events);
    std::string name(reinterpret_cast<const char*>(data), size);
    name = name.substr(0, name.find('\0'));  // a C string ends at its NUL
    LogKind kind = collect->GetLogKind(name.c_str());
    if (kind < -1 || kind >= kLogKindCount)
        std::abort();
    if (kind >= 0) {
        std::string lower = Lower(name);
        std::string base = lower.substr(lower.find_last_of("\\/") + 1);
        if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".csv") != 0 ||
            base.rfind(collect->LogFileKey(kind), 0) != 0)
            std::abort();
    }
    return 0;
}
