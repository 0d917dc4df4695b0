// The install-software rewrite over any file, on the fake platform: the file
// keeps its number of lines, its copy file never stays behind after a
// rewrite, and a second rewrite changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform/Fake/FakePlatform.h"
#include "Server/Ferrowin/LogCollect.h"

namespace {

std::size_t Lines(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = "/in/AsInstallSoftwareLogFile_PC.csv";
    std::string content(reinterpret_cast<const char*>(data), size);
    Platform::CFakePlatform fake;
    fake.PutFile(path, content);
    {
        CEventBinding events(fake.Get());
        CLogCollect collect(fake.Get(), events);
        collect.PrepareInstallSoftwareLog(path.c_str());
        std::string once = fake.FileContent(path);
        if (Lines(once) != Lines(content))
            std::abort();
        if (fake.HasFile(path + ".COPY"))
            std::abort();
        collect.PrepareInstallSoftwareLog(path.c_str());
        if (fake.FileContent(path) != once)
            std::abort();
    }
    return 0;
}
