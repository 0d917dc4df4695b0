// The INI reader on any text: the first two lines of the input name the
// section and key, the rest is the file. A read never writes past its
// buffer and always ends it with a NUL within it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform/ProfileText.h"

namespace {

std::string TakeLine(std::string& text) {
    std::size_t end = text.find('\n');
    std::string line = text.substr(0, end);
    text = end == std::string::npos ? "" : text.substr(end + 1);
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string section = TakeLine(text), key = TakeLine(text);
    for (std::uint32_t bufferSize : {1u, 8u, 1024u}) {
        std::string buffer(bufferSize + 16, '\x55');
        std::uint32_t n = Platform::ProfileGetString(&text, section.c_str(), key.c_str(), "dflt",
                                                     buffer.data(), bufferSize);
        if (n >= bufferSize && bufferSize > 1)
            std::abort();
        if (buffer.find('\0') >= bufferSize)
            std::abort();
        for (std::size_t i = bufferSize; i < buffer.size(); ++i)
            if (buffer[i] != '\x55')
                std::abort();
    }
    return 0;
}
