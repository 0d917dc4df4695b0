// The Linux registry: a regedit file named by KESTRAFOLD_REGISTRY.
#include <gtest/gtest.h>

#include <cstring>

#include "Platform/Platform.h"
#include "Platform/RegistryHive.h"
#include "tests/Support/ParamName.h"
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

const char kV4[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Zorel\\Kestrafold]\n"
    "\"DSNName\"=\"VeyrithDSN\"\n"
    "\"Blob\"=hex:01,02,\\\n"
    "  03\n";

struct QueryCase {
    const char* name;
    const char* file;
    const char* key;
    const char* value;
    std::uint32_t bufferSize;
    Status status;
    std::uint32_t type;
    std::string data;  // expected bytes (REG_SZ with its NUL)
    friend void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }
};

const QueryCase kQueries[] = {
    {"v5 string with escaped backslashes", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager",
     "InstallPath", 1024, kSuccess, kRegSz, std::string("C:\\Program Files\\Kestrafold\\\0", 29)},
    {"escaped quotes", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", "Quoted", 1024, kSuccess,
     kRegSz, std::string("say \"hi\"\0", 9)},
    {"dword", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", "LOG_WRITEMAXERROR", 4, kSuccess,
     kRegDword, std::string("\x0a\0\0\0", 4)},
    {"names in any letter case", kV5, "software\\ZOREL\\kestrafold\\dbmanager", "installpath", 1024,
     kSuccess, kRegSz, std::string("C:\\Program Files\\Kestrafold\\\0", 29)},
    {"value after a malformed line", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", "AfterBroken",
     1024, kSuccess, kRegSz, std::string("still read\0", 11)},
    {"malformed value is missing", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", "Broken", 1024,
     kFileNotFound, 0, ""},
    {"default value", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", "", 1024, kSuccess, kRegSz,
     std::string("default value\0", 14)},
    {"second key", kV5, "SOFTWARE\\Zorel\\Kestrafold", "DSNName", 1024, kSuccess, kRegSz,
     std::string("Provider=Embedded;Data Source=/var/lib/x.db\0", 44)},
    {"REGEDIT4 header", kV4, "SOFTWARE\\Zorel\\Kestrafold", "DSNName", 1024, kSuccess, kRegSz,
     std::string("VeyrithDSN\0", 11)},
    {"hex with continuation", kV4, "SOFTWARE\\Zorel\\Kestrafold", "Blob", 16, kSuccess, kRegBinary,
     std::string("\x01\x02\x03", 3)},
    {"missing key", kV5, "SOFTWARE\\Zorel\\Nothing", "DSNName", 1024, kFileNotFound, 0, ""},
    {"missing value", kV5, "SOFTWARE\\Zorel\\Kestrafold", "DBPWD", 1024, kFileNotFound, 0, ""},
    {"buffer too small", kV5, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", "InstallPath", 10,
     kMoreData, kRegSz, ""},
};

class RegistryFileTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(RegistryFileTest, Query) {
    const QueryCase& c = GetParam();
    CTempDir dir;
    WriteFile(dir / "registry.reg", c.file);
    CScopedEnv env("KESTRAFOLD_REGISTRY", dir / "registry.reg");
    IRegistry& registry = DefaultPlatform().registry;

    RegKey key = 0;
    Status open = registry.OpenKey(kHKeyLocalMachine, c.key, kKeyRead, &key);
    if (open != kSuccess) {
        EXPECT_EQ(c.status, open);
        return;
    }
    std::string buffer(c.bufferSize, '\x55');
    std::uint32_t type = 0, size = c.bufferSize;
    EXPECT_EQ(c.status, registry.QueryValue(key, c.value, &type, buffer.data(), &size));
    if (c.status == kSuccess) {
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.data, buffer.substr(0, size));
    }
    if (c.status == kMoreData) {
        EXPECT_EQ(29u, size);  // the size needed comes back
    }
    EXPECT_EQ(kSuccess, registry.CloseKey(key));
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryFileTest, ::testing::ValuesIn(kQueries), CaseName());

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
