// Private-profile (INI) files, read and written with the Windows semantics.
#include "tests/Platform/Contract/PlatformFixture.h"

using namespace Platform;

namespace {

const std::string k511(511, 'x');
const std::string k2000(2000, 'y');

const std::string kFile =
    "; comment line\r\n"
    "[Log_Settings]\r\n"
    "  Import_Backup_Path =  D:\\Backup  \r\n"
    "IMPORT_ERR_PATH=\"  quoted value  \"\r\n"
    ";IMPORT_SKIP=commented\r\n"
    "import_err_path=second wins not\r\n"
    "EMPTY=\r\n"
    "[LOG_TYPES]\n"
    "LOG_TYPE1=FileLogFile\n"
    "LONG511=" +
    k511 + "\nLONG2000=" + k2000 +
    "\n"
    "[log_settings]\n"
    "LATE=in a repeated section\n";

struct ProfileCase {
    const char* name;
    const char* section;
    const char* key;
    const char* defaultValue;
    std::uint32_t size;
    std::string expected;
    bool missingFile = false;
};

const ProfileCase kCases[] = {
    {"case-insensitive section and key, trimmed", "LOG_SETTINGS", "IMPORT_BACKUP_PATH", nullptr,
     1024, "D:\\Backup"},
    {"quotes removed, inside kept", "log_settings", "import_err_path", nullptr, 1024,
     "  quoted value  "},
    {"comment line is no key", "LOG_SETTINGS", "IMPORT_SKIP", "dflt", 1024, "dflt"},
    {"empty value", "LOG_SETTINGS", "EMPTY", "dflt", 1024, ""},
    {"LF line ends", "LOG_TYPES", "LOG_TYPE1", nullptr, 1024, "FileLogFile"},
    {"missing key gives default", "LOG_TYPES", "LOG_TYPE2", "none", 1024, "none"},
    {"missing key with null default", "LOG_TYPES", "LOG_TYPE2", nullptr, 1024, ""},
    {"missing section", "PRODUCT_INFO", "PRODUCT_INSTALLPATH", "d", 1024, "d"},
    {"only the first of repeated sections", "LOG_SETTINGS", "LATE", "d", 1024, "d"},
    {"511 characters fit 512", "LOG_TYPES", "LONG511", nullptr, 512, k511},
    {"2000 characters cut to size - 1", "LOG_TYPES", "LONG2000", nullptr, 512,
     std::string(511, 'y')},
    {"missing file", "LOG_TYPES", "LOG_TYPE1", "d", 1024, "d", true},
};

TEST_P(PlatformContract, ProfileReads) {
    Fixture().PutFile(P("KFSettings.ini"), kFile);
    for (const ProfileCase& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string path = P(c.missingFile ? "absent.ini" : "KFSettings.ini");
        std::string buffer(c.size, '\x55');
        std::uint32_t n =
            Get().profile.GetString(c.section, c.key, c.defaultValue, buffer.data(), c.size, path);
        EXPECT_EQ(c.expected.size(), n);
        EXPECT_EQ(c.expected, std::string(buffer.c_str()));
    }
}

TEST_P(PlatformContract, ProfileListsSectionsAndKeys) {
    Fixture().PutFile(P("a.ini"), kFile);
    char buffer[256];
    std::uint32_t n = Get().profile.GetString(nullptr, nullptr, nullptr, buffer, 256, P("a.ini"));
    EXPECT_EQ(std::string("Log_Settings\0LOG_TYPES\0log_settings\0\0", 37),
              std::string(buffer, n + 1));
    n = Get().profile.GetString("log_types", nullptr, nullptr, buffer, 256, P("a.ini"));
    EXPECT_EQ(std::string("LOG_TYPE1\0LONG511\0LONG2000\0\0", 28), std::string(buffer, n + 1));
}

TEST_P(PlatformContract, ProfileWriteThenReadBack) {
    std::string path = P("w.ini");
    Fixture().PutFile(path, kFile);
    IProfile& profile = Get().profile;
    ASSERT_TRUE(profile.WriteString("LOG_TYPES", "LOG_TYPE1", "Renamed", path));
    ASSERT_TRUE(profile.WriteString("LOG_TYPES", "LOG_TYPE2", "Added", path));
    ASSERT_TRUE(profile.WriteString("NEW", "K", "V", path));
    ASSERT_TRUE(profile.WriteString("LOG_SETTINGS", "EMPTY", nullptr, path));
    char buffer[64];
    auto read = [&](const char* s, const char* k) {
        profile.GetString(s, k, "absent", buffer, sizeof buffer, path);
        return std::string(buffer);
    };
    EXPECT_EQ("Renamed", read("LOG_TYPES", "LOG_TYPE1"));
    EXPECT_EQ("Added", read("LOG_TYPES", "LOG_TYPE2"));
    EXPECT_EQ("V", read("NEW", "K"));
    EXPECT_EQ("absent", read("LOG_SETTINGS", "EMPTY"));
    EXPECT_EQ("D:\\Backup", read("LOG_SETTINGS", "IMPORT_BACKUP_PATH"));
    std::string big(4096, ' ');
    EXPECT_EQ(k2000.size(), static_cast<size_t>(profile.GetString("LOG_TYPES", "LONG2000", "",
                                                                  big.data(), 4096, path)));
    // A file that did not exist is made.
    ASSERT_TRUE(profile.WriteString("S", "K", "made", P("new.ini")));
    profile.GetString("S", "K", "absent", buffer, sizeof buffer, P("new.ini"));
    EXPECT_EQ("made", std::string(buffer));
}

}  // namespace
