// CRegistryKey on the real registry (Wine's or Windows'), as the importer
// reads its settings from it.
#include <gtest/gtest.h>

#include "Platform/Platform.h"
#include "Platform/Win32/Win32Api.h"
#include "Server/Ferrowin/RegistryKey.h"

using namespace Platform;

namespace {

constexpr char kDbManager[] = "SOFTWARE\\Zorel\\FerrowinTest\\DBManager";
constexpr char kProduct[] = "SOFTWARE\\Zorel\\FerrowinTest";

class RegistryKeyWin32 : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProduct); }
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProduct);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProduct);
    }
};

TEST_F(RegistryKeyWin32, CreateWriteReopenAndRead) {
    CRegistryKey key(DefaultPlatform().registry);
    std::uint32_t disposition = 0;
    ASSERT_EQ(0, key.Create(kHKeyLocalMachine, kDbManager, kKeyAllAccess, &disposition));
    EXPECT_EQ(kRegCreatedNewKey, disposition);
    const char path[] = "C:\\Program Files\\Kestrafold\\";
    ASSERT_EQ(0, key.SetValue(path, "InstallPath", sizeof path, kRegSz));
    ASSERT_EQ(0, key.SetDword(25, "LOG_WRITEMAXERROR"));

    // Re-opening closes the first key; the values are on the system's side.
    ASSERT_EQ(0, key.Open(kHKeyLocalMachine, kDbManager, kKeyAllAccess));
    char buffer[1024] = {};
    EXPECT_EQ(0, key.QueryValue(buffer, "installpath", sizeof buffer, kRegSz));
    EXPECT_STREQ(path, buffer);
    std::uint32_t maxError = 10, timeout = 3600;
    EXPECT_EQ(0, key.QueryDword(&maxError, "LOG_WRITEMAXERROR"));
    EXPECT_EQ(25u, maxError);
    EXPECT_EQ(2, key.QueryDword(&timeout, "SQL_SP_TIMEOUT"));
    EXPECT_EQ(3600u, timeout);
    char small[4];
    EXPECT_EQ(234, key.QueryValue(small, "InstallPath", sizeof small, kRegSz));

    // A failed open keeps the key that was held.
    EXPECT_EQ(2,
              key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\FerrowinTest\\Absent", kKeyAllAccess));
    EXPECT_EQ(0, key.QueryDword(&maxError, "LOG_WRITEMAXERROR"));

    ASSERT_EQ(0, key.Create(kHKeyLocalMachine, kDbManager, kKeyAllAccess, &disposition));
    EXPECT_EQ(kRegOpenedExistingKey, disposition);
    EXPECT_EQ(0, key.Close());
    EXPECT_EQ(0, key.Close());  // nothing held any more
}

TEST_F(RegistryKeyWin32, ReadAccessRefusesWrites) {
    CRegistryKey key(DefaultPlatform().registry);
    ASSERT_EQ(0, key.Create(kHKeyLocalMachine, kProduct, kKeyAllAccess, nullptr));
    ASSERT_EQ(0, key.Open(kHKeyLocalMachine, kProduct, kKeyRead));
    EXPECT_EQ(5, key.SetDword(1, "SQL_SP_TIMEOUT"));
    EXPECT_EQ(2, key.Open(kHKeyLocalMachine, "SOFTWARE\\Zorel\\FerrowinTest\\None", kKeyRead));
}

}  // namespace
