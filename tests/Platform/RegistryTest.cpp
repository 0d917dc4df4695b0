// The Linux registry: a regedit file named by KESTRAFOLD_REGISTRY.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "Platform/Platform.h"
#include "Platform/RegistryHive.h"
#include "tests/Support/TempDir.h"

using namespace Platform;

namespace {

const char kV5[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"
    "\"InstallPath\"=\"C:\\\\Program Files\\\\Kestrafold\\\\\"\r\n"
    "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
    "\"LOG_WRITEMAXERROR\"=dword:0000000a\r\n"
    "\"Broken\"=dword:xyz\r\n"
    "this line is not a value\r\n"
    "\"AfterBroken\"=\"still read\"\r\n"
    "@=\"default value\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\r\n"
    "\"DSNName\"=\"Provider=Embedded;Data Source=/var/lib/x.db\"\r\n";

// The parsed file is kept while the file stays the same; any change to it is
// seen by the next read, and the file is trusted or refused on every open.
TEST(RegistryFile, ChangesAreSeenWhileTheParsedFileIsKept) {
    CTempDir dir;
    chmod(dir.Path().c_str(), 0755);
    std::string path = dir / "registry.reg";
    auto text = [](const std::string& value) {
        return "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel]\r\n\"V\"=\"" +
               value + "\"\r\n";
    };
    WriteFile(path, text("first"));
    chmod(path.c_str(), 0644);
    CScopedEnv env("KESTRAFOLD_REGISTRY", path);
    IRegistry& registry = DefaultPlatform().registry;
    auto read = [&](std::string* value) {
        RegKey key = 0;
        Status status = registry.OpenKey(kHKeyLocalMachine, "SOFTWARE\\Zorel", kKeyRead, &key);
        if (status != kSuccess)
            return status;
        char buffer[64] = {};
        std::uint32_t size = sizeof buffer;
        status = registry.QueryValue(key, "V", nullptr, buffer, &size);
        registry.CloseKey(key);
        *value = buffer;
        return status;
    };
    // A file changed in the last two seconds is parsed on every read.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    std::string value;
    ASSERT_EQ(kSuccess, read(&value));
    EXPECT_EQ("first", value);
    ASSERT_EQ(kSuccess, read(&value));
    EXPECT_EQ("first", value);

    // Rewritten in place at the same size, with its old modification time
    // put back: still a change.
    struct stat before;
    ASSERT_EQ(0, stat(path.c_str(), &before));
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string changed = text("other");
    ASSERT_EQ(static_cast<ssize_t>(changed.size()), pwrite(fd, changed.data(), changed.size(), 0));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(0, futimens(fd, times));
    close(fd);
    ASSERT_EQ(kSuccess, read(&value));
    EXPECT_EQ("other", value);

    // Replaced by another file of the same size.
    WriteFile(dir / "new.reg", text("third"));
    chmod((dir / "new.reg").c_str(), 0644);
    std::filesystem::rename(dir / "new.reg", path);
    ASSERT_EQ(kSuccess, read(&value));
    EXPECT_EQ("third", value);

    chmod(path.c_str(), 0666);
    EXPECT_EQ(kAccessDenied, read(&value));
}

TEST(RegistryFile, WritesNeedWriteAccessAndPersist) {
    CTempDir dir;
    WriteFile(dir / "registry.reg", kV5);
    CScopedEnv env("KESTRAFOLD_REGISTRY", dir / "registry.reg");
    IRegistry& registry = DefaultPlatform().registry;

    RegKey readOnly = 0;
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold", kKeyRead,
                                         &readOnly));
    EXPECT_EQ(kAccessDenied, registry.SetValue(readOnly, "DBUserID", kRegSz, "sa", 3));
    registry.CloseKey(readOnly);

    RegKey key = 0;
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold",
                                         kKeyAllAccess, &key));
    ASSERT_EQ(kSuccess, registry.SetValue(key, "DBUserID", kRegSz, "sa", 3));
    std::uint32_t seven = 7;
    ASSERT_EQ(kSuccess, registry.SetValue(key, "SQL_SP_TIMEOUT", kRegDword, &seven, 4));
    registry.CloseKey(key);

    // Read back from the file itself: the values are there, the old ones too.
    CRegistryStore store = CRegistryStore::Parse(ReadFile(dir / "registry.reg"), nullptr);
    CRegistryStore::Key* stored = store.FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold");
    ASSERT_NE(nullptr, stored);
    ASSERT_NE(nullptr, stored->FindValue("dbuserid"));
    EXPECT_EQ(std::string("sa\0", 3), stored->FindValue("DBUserID")->data);
    ASSERT_NE(nullptr, stored->FindValue("SQL_SP_TIMEOUT"));
    EXPECT_EQ(std::string("\x07\0\0\0", 4), stored->FindValue("SQL_SP_TIMEOUT")->data);
    ASSERT_NE(nullptr, stored->FindValue("DSNName"));
    EXPECT_NE(nullptr, store.FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager"));
}

TEST(RegistryFile, MalformedLinesAreReportedAndSkipped) {
    std::vector<std::string> skipped;
    CRegistryStore store = CRegistryStore::Parse(
        std::string(kV5) + "[HKEY_LOCAL_MACHINE\\Broken\n\"x\"=\"unterminated\n", &skipped);
    ASSERT_EQ(4u, skipped.size());
    EXPECT_NE(std::string::npos, skipped[0].find("line 7"));
    EXPECT_NE(std::string::npos, skipped[1].find("line 8"));
}

// A value type wider than 32 bits makes only its own line unreadable.
TEST(RegistryFile, AnOverlongValueTypeSkipsItsLine) {
    std::vector<std::string> skipped;
    CRegistryStore store = CRegistryStore::Parse(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"T\"=hex(123456789):61,00\r\n"
        "\"K\"=hex(7):61,00\r\n",
        &skipped);
    EXPECT_EQ(1u, skipped.size());
    CRegistryStore::Key* key = store.FindKey("HKEY_LOCAL_MACHINE\\A");
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(nullptr, key->FindValue("T"));
    ASSERT_NE(nullptr, key->FindValue("K"));
    EXPECT_EQ(7u, key->FindValue("K")->type);
}

TEST(RegistryFile, Utf16ExportIsRead) {
    std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
        "\"N\"=\"\xE6\x97\xA5\"\r\n";
    std::string utf16 = "\xFF\xFE";
    // Encode the ASCII lines plus one three-byte character (U+65E5).
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (static_cast<unsigned char>(utf8[i]) == 0xE6) {
            utf16 += "\xE5\x65";
            i += 2;
        } else {
            utf16 += utf8[i];
            utf16 += '\0';
        }
    }
    CRegistryStore store = CRegistryStore::Parse(utf16, nullptr);
    ASSERT_NE(nullptr, store.FindKey("HKEY_LOCAL_MACHINE\\A"));
    EXPECT_EQ(std::string("\xE6\x97\xA5\0", 4),
              store.FindKey("HKEY_LOCAL_MACHINE\\A")->FindValue("N")->data);
}

TEST(RegistryFile, MissingFileHasNoKeys) {
    CTempDir dir;
    CScopedEnv env("KESTRAFOLD_REGISTRY", dir / "absent.reg");
    RegKey key = 0;
    EXPECT_EQ(kFileNotFound,
              DefaultPlatform().registry.OpenKey(kHKeyLocalMachine, "SOFTWARE", kKeyRead, &key));
}

}  // namespace
