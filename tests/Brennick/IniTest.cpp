#include "Brennick/Ini.h"

#include <gtest/gtest.h>

#include "Platform/Fake/FakePlatform.h"
#include "Platform/Platform.h"
#include "tests/Support/TempDir.h"

namespace {

TEST(Ini, ReadStringGrowsForLongValues) {
    CTempDir dir;
    std::string path = dir / "2.ini";
    const std::string k511(511, 'a'), k512(512, 'b'), k2000(2000, 'c');
    WriteFile(path, "[LOG_TYPES]\r\nV511=" + k511 + "\r\nV512=" + k512 + "\r\nV2000=" + k2000 +
                        "\r\n[PRODUCT_INFO]\r\nPRODUCT_INSTALLPATH=/opt/kf\r\n");
    CIni ini(Platform::DefaultPlatform().profile, path.c_str());
    EXPECT_EQ(k511, ini.ReadString("LOG_TYPES", "V511"));
    EXPECT_EQ(k512, ini.ReadString("LOG_TYPES", "V512"));
    EXPECT_EQ(k2000, ini.ReadString("LOG_TYPES", "V2000"));
    EXPECT_EQ("/opt/kf", ini.ReadString("product_info", "product_installpath"));
    EXPECT_EQ("", ini.ReadString("LOG_TYPES", "LOG_TYPE1"));
    EXPECT_EQ("dflt", ini.ReadString("LOG_TYPES", "LOG_TYPE1", "dflt"));
    EXPECT_EQ("dflt", ini.ReadString(nullptr, "LOG_TYPE1", "dflt"));
}

TEST(Ini, MissingFileYieldsDefaultsAndWritesCreateIt) {
    CTempDir dir;
    std::string path = dir / "absent.ini";
    CIni ini(Platform::DefaultPlatform().profile, path.c_str());
    EXPECT_EQ("", ini.ReadString("LOG_SETTINGS", "IMPORT_BACKUP_PATH"));
    ASSERT_TRUE(ini.WriteString("LOG_SETTINGS", "IMPORT_BACKUP_PATH", "/backup"));
    EXPECT_EQ("/backup", ini.ReadString("LOG_SETTINGS", "IMPORT_BACKUP_PATH"));
}

TEST(Ini, ReadsThroughTheGivenProfile) {
    Platform::CFakePlatform fake;
    fake.PutFile("/kf/Setting/KFSettings.ini", "[LOG_SETTINGS]\nIMPORT_ERR_PATH=/err\n");
    CIni ini(fake.Get().profile, "/kf/Setting/KFSettings.ini");
    EXPECT_EQ("/err", ini.ReadString("LOG_SETTINGS", "IMPORT_ERR_PATH"));
}

}  // namespace
