#include "Server/Ferrowin/RegistryKey.h"

#include <gtest/gtest.h>

#include "Platform/Fake/FakePlatform.h"

using namespace Platform;

namespace {

const char kHive[] =
    "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\n"
    "\"InstallPath\"=\"/opt/kf\"\n\"LOG_WRITEMAXERROR\"=dword:00000003\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\n\"DSNName\"=\"dsn\"\n";

int Count(const std::vector<std::string>& calls, const std::string& call) {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

TEST(RegistryKey, QueriesOnTheHeldKey) {
    CFakePlatform fake;
    fake.SetRegistryText(kHive);
    CRegistryKey key(fake.Get().registry);
    EXPECT_EQ(0, key.Close());  // nothing held
    ASSERT_EQ(0,
              key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold\\DBManager", kKeyAllAccess));
    char path[1024] = {};
    EXPECT_EQ(0, key.QueryValue(path, "InstallPath", sizeof path, kRegSz));
    EXPECT_STREQ("/opt/kf", path);
    std::uint32_t maxError = 10;
    EXPECT_EQ(0, key.QueryDword(&maxError, "LOG_WRITEMAXERROR"));
    EXPECT_EQ(3u, maxError);
    std::uint32_t timeout = 3600;
    EXPECT_EQ(2, key.QueryDword(&timeout, "SQL_SP_TIMEOUT"));
    EXPECT_EQ(3600u, timeout);
    char small[4];
    EXPECT_EQ(234, key.QueryValue(small, "InstallPath", sizeof small, kRegSz));
}

TEST(RegistryKey, FailedSecondOpenKeepsTheFirstKey) {
    CFakePlatform fake;
    fake.SetRegistryText(kHive);
    {
        CRegistryKey key(fake.Get().registry);
        ASSERT_EQ(0, key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold\\DBManager",
                              kKeyAllAccess));
        EXPECT_EQ(2, key.Open(kHKeyLocalMachine, "SOFTWARE\\Missing", kKeyAllAccess));
        char path[1024] = {};
        EXPECT_EQ(0, key.QueryValue(path, "InstallPath", sizeof path, kRegSz));
        EXPECT_EQ(0, Count(fake.Calls(), "CloseKey"));

        // A successful re-open closes the first key.
        EXPECT_EQ(0, key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold", kKeyAllAccess));
        EXPECT_EQ(1, Count(fake.Calls(), "CloseKey"));
        char dsn[1024] = {};
        EXPECT_EQ(0, key.QueryValue(dsn, "DSNName", sizeof dsn, kRegSz));
        EXPECT_STREQ("dsn", dsn);
    }
    EXPECT_EQ(2, Count(fake.Calls(), "CloseKey"));  // the destructor closed the second
}

TEST(RegistryKey, SetNeedsWriteAccess) {
    CFakePlatform fake;
    fake.SetRegistryText(kHive);
    CRegistryKey key(fake.Get().registry);
    ASSERT_EQ(0, key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold", kKeyRead));
    EXPECT_EQ(5, key.SetDword(1, "X"));
    std::uint32_t disposition = 0;
    ASSERT_EQ(0,
              key.Create(kHKeyLocalMachine, "SOFTWARE\\Zorel\\New", kKeyAllAccess, &disposition));
    EXPECT_EQ(kRegCreatedNewKey, disposition);
    EXPECT_EQ(0, key.SetDword(9, "X"));
    std::uint32_t value = 0;
    EXPECT_EQ(0, key.QueryDword(&value, "x"));
    EXPECT_EQ(9u, value);
    fake.SetRegistryWritable(false);
    EXPECT_EQ(5, key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\Kestrafold", kKeyAllAccess));
}

}  // namespace
