// Registry: values of HKEY_LOCAL_MACHINE read and written with the Win32
// calls' statuses.
#include "tests/Platform/Contract/PlatformFixture.h"

using namespace Platform;

namespace {

const char kV5[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"
    "\"InstallPath\"=\"C:\\\\Program Files\\\\Kestrafold\\\\\"\r\n"
    "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
    "\"LOG_WRITEMAXERROR\"=dword:0000000a\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  03\r\n"
    "@=\"default value\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\r\n"
    "\"DSNName\"=\"Provider=Embedded;Data Source=/var/lib/x.db\"\r\n";

constexpr char kDbManager[] = "SOFTWARE\\Zorel\\Kestrafold\\DBManager";
constexpr char kProduct[] = "SOFTWARE\\Zorel\\Kestrafold";

struct QueryCase {
    const char* name;
    const char* key;
    const char* value;
    std::uint32_t bufferSize;
    Status status;
    std::uint32_t type;
    std::string data;  // expected bytes (REG_SZ with its NUL)
};

const QueryCase kQueries[] = {
    {"string with escaped backslashes", kDbManager, "InstallPath", 1024, kSuccess, kRegSz,
     std::string("C:\\Program Files\\Kestrafold\\\0", 29)},
    {"escaped quotes", kDbManager, "Quoted", 1024, kSuccess, kRegSz,
     std::string("say \"hi\"\0", 9)},
    {"dword", kDbManager, "LOG_WRITEMAXERROR", 4, kSuccess, kRegDword,
     std::string("\x0a\0\0\0", 4)},
    {"binary over a continuation line", kDbManager, "Blob", 16, kSuccess, kRegBinary,
     std::string("\x01\x02\x03", 3)},
    {"names in any letter case", "software\\ZOREL\\kestrafold\\dbmanager", "installpath", 1024,
     kSuccess, kRegSz, std::string("C:\\Program Files\\Kestrafold\\\0", 29)},
    {"default value", kDbManager, "", 1024, kSuccess, kRegSz, std::string("default value\0", 14)},
    {"second key", kProduct, "DSNName", 1024, kSuccess, kRegSz,
     std::string("Provider=Embedded;Data Source=/var/lib/x.db\0", 44)},
    {"missing key", "SOFTWARE\\Zorel\\Nothing", "DSNName", 1024, kFileNotFound, 0, ""},
    {"missing value", kProduct, "DBPWD", 1024, kFileNotFound, 0, ""},
    {"buffer too small", kDbManager, "InstallPath", 10, kMoreData, kRegSz, ""},
};

TEST_P(PlatformContract, RegistryQueries) {
    Fixture().SetRegistryText(kV5);
    IRegistry& registry = Get().registry;
    for (const QueryCase& c : kQueries) {
        SCOPED_TRACE(c.name);
        RegKey key = 0;
        Status open = registry.OpenKey(kHKeyLocalMachine, c.key, kKeyRead, &key);
        if (open != kSuccess) {
            EXPECT_EQ(c.status, open);
            continue;
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
}

TEST_P(PlatformContract, RegistryWritesNeedWriteAccessAndPersist) {
    Fixture().SetRegistryText(kV5);
    IRegistry& registry = Get().registry;

    RegKey readOnly = 0;
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, kProduct, kKeyRead, &readOnly));
    EXPECT_EQ(kAccessDenied, registry.SetValue(readOnly, "DBUserID", kRegSz, "sa", 3));
    registry.CloseKey(readOnly);

    RegKey key = 0;
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, kProduct, kKeyAllAccess, &key));
    ASSERT_EQ(kSuccess, registry.SetValue(key, "DBUserID", kRegSz, "sa", 3));
    std::uint32_t seven = 7;
    ASSERT_EQ(kSuccess, registry.SetValue(key, "SQL_SP_TIMEOUT", kRegDword, &seven, 4));
    registry.CloseKey(key);

    // A new handle sees the new values and the old ones.
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, kProduct, kKeyRead, &key));
    char text[16] = {};
    std::uint32_t type = 0, size = sizeof text;
    EXPECT_EQ(kSuccess, registry.QueryValue(key, "dbuserid", &type, text, &size));
    EXPECT_EQ(std::string("sa\0", 3), std::string(text, size));
    std::uint32_t number = 0;
    size = 4;
    EXPECT_EQ(kSuccess, registry.QueryValue(key, "SQL_SP_TIMEOUT", &type, &number, &size));
    EXPECT_EQ(7u, number);
    EXPECT_EQ(kRegDword, type);
    size = sizeof text;
    EXPECT_EQ(kSuccess, registry.QueryValue(key, "DSNName", &type, nullptr, &size));
    EXPECT_EQ(44u, size);
    registry.CloseKey(key);
    EXPECT_EQ(kInvalidHandle, registry.CloseKey(key));
}

}  // namespace
