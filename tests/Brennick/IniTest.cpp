#include "Brennick/Ini.h"

#include <gtest/gtest.h>

#include "Platform/Fake/FakePlatform.h"
#include "Platform/Platform.h"
#include "Platform/PlatformWrapper.h"
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

// Each try of the growing read reads the whole file again: the room doubles,
// so that a long value takes a few tries, not one per 512 characters.
TEST(Ini, ALongValueIsReadWholeInFewTries) {
    struct CCountingProfile : Platform::CProfileWrapper {
        using CProfileWrapper::CProfileWrapper;
        std::uint32_t GetString(const char* section, const char* key, const char* defaultValue,
                                char* buffer, std::uint32_t size,
                                const std::string& path) override {
            ++calls;
            return CProfileWrapper::GetString(section, key, defaultValue, buffer, size, path);
        }
        int calls = 0;
    };
    struct Case {
        std::size_t length;
        int mostTries;
    };
    // A value of capacity - 1 characters takes one more try, as always.
    const Case kCases[] = {{0, 1}, {510, 1}, {511, 2}, {1022, 2}, {1023, 3}, {1 << 20, 13}};
    CTempDir dir;
    std::string path = dir / "long.ini";
    CCountingProfile profile(Platform::DefaultPlatform().profile);
    CIni ini(profile, path.c_str());
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.length);
        std::string value(c.length, 'v');
        WriteFile(path, "[PRODUCT_INFO]\r\nPRODUCT_INSTALLPATH=" + value + "\r\n");
        profile.calls = 0;
        EXPECT_EQ(value, ini.ReadString("PRODUCT_INFO", "PRODUCT_INSTALLPATH"));
        EXPECT_LE(profile.calls, c.mostTries);
        EXPECT_EQ("dflt", ini.ReadString("PRODUCT_INFO", "MISSING", "dflt"));
    }
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
