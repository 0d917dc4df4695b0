// What reading the install folder costs for each log, against one parse of
// the registry file: the relocation of every file opens a key and reads a
// value, and each of those loads the hive.
//   registry-bench [megabytes] [files]
// Prints the seconds of one parse (the baseline), of the first file and of
// each later file, with their ratios to the parse. Without the parsed file
// kept, every file's ratio is about 2 (a key opened and a value read, each a
// parse); kept, only the first file parses.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "Platform/Platform.h"
#include "Platform/RegistryHive.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    long megabytes = argc > 1 ? std::atol(argv[1]) : 100;
    int files = argc > 2 ? std::atoi(argv[2]) : 20;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "registry-bench";
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
    std::string path = (folder / "registry.reg").string();

    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"
        "\"InstallPath\"=\"/opt/kestrafold/\"\r\n\r\n";
    for (long i = 0; text.size() < static_cast<size_t>(megabytes) << 20; ++i)
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Key" + std::to_string(i) +
                "]\r\n\"Value\"=\"" + std::string(80, 'v') + "\"\r\n\r\n";
    std::ofstream(path, std::ios::binary) << text;
    std::filesystem::permissions(path, std::filesystem::perms(0644));
    setenv("KESTRAFOLD_REGISTRY", path.c_str(), 1);
    // A file changed in the last two seconds is parsed on every read.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));

    auto start = std::chrono::steady_clock::now();
    Platform::CRegistryStore parsed = Platform::CRegistryStore::Parse(text, nullptr);
    double parse = Seconds(std::chrono::steady_clock::now() - start);

    // As the relocation of one file reads the install folder.
    Platform::IRegistry& registry = Platform::DefaultPlatform().registry;
    auto readInstallPath = [&registry] {
        Platform::RegKey key = 0;
        if (registry.OpenKey(Platform::kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold\\DBManager",
                             Platform::kKeyAllAccess, &key) != Platform::kSuccess)
            return false;
        char buffer[1024] = {};
        std::uint32_t size = sizeof buffer;
        bool read =
            registry.QueryValue(key, "InstallPath", nullptr, buffer, &size) == Platform::kSuccess;
        registry.CloseKey(key);
        return read;
    };
    // The run's first file reads the file; the others find it unchanged.
    start = std::chrono::steady_clock::now();
    bool read = readInstallPath();
    double first = Seconds(std::chrono::steady_clock::now() - start);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < files && read; ++i) read = readInstallPath();
    double perFile = Seconds(std::chrono::steady_clock::now() - start) / files;
    std::filesystem::remove_all(folder);
    if (!read) {
        std::fprintf(stderr, "the install folder cannot be read\n");
        return 1;
    }
    std::printf(
        "registry %ld MB: one parse %.3f s; first file %.3f s (ratio %.3f), each later file "
        "%.6f s (ratio %.5f)\n",
        megabytes, parse, first, first / parse, perFile, perFile / parse);
    return 0;
}
