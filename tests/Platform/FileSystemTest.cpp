// Files on the real Linux file systems.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "Platform/Platform.h"
#include "tests/Support/TempDir.h"

using namespace Platform;

namespace {

std::vector<std::string> Names(const std::vector<FileEntry>& entries) {
    std::vector<std::string> names;
    for (const FileEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileSystem, ListingMatchesWithoutLetterCaseAndSkipsFoldersOnRequest) {
    CTempDir dir;
    WriteFile(dir / "a.csv", "");
    WriteFile(dir / "B.CSV", "");
    WriteFile(dir / "c.csv.bak", "");
    WriteFile(dir / "d.txt", "");
    std::filesystem::create_directory(dir / "folder.csv");
    IFileSystem& files = DefaultPlatform().files;
    std::vector<FileEntry> entries;

    ASSERT_EQ(kSuccess, files.ListFiles(dir.Path(), "*.csv", false, &entries));
    EXPECT_EQ((std::vector<std::string>{"B.CSV", "a.csv"}), Names(entries));

    ASSERT_EQ(kSuccess, files.ListFiles(dir.Path(), "*.csv", true, &entries));
    EXPECT_EQ((std::vector<std::string>{"B.CSV", "a.csv", "folder.csv"}), Names(entries));
    for (const FileEntry& e : entries)
        EXPECT_EQ(e.name == "folder.csv", (e.attributes & kAttributeDirectory) != 0) << e.name;

    EXPECT_EQ(kPathNotFound, files.ListFiles(dir / "absent", "*.csv", false, &entries));
}

TEST(FileSystem, MoveAcrossFileSystemsReplacesTargetAndRemovesSource) {
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    CTempDir shm("/dev/shm");
    CTempDir disk;
    struct stat a, b;
    ASSERT_EQ(0, stat(shm.Path().c_str(), &a));
    ASSERT_EQ(0, stat(disk.Path().c_str(), &b));
    if (a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm and the temp folder share a device";

    std::string payload(300000, 'p');
    WriteFile(shm / "log.csv", payload);
    WriteFile(disk / "log.csv", "old target");
    IFileSystem& files = DefaultPlatform().files;

    EXPECT_EQ(kAlreadyExists, files.MoveFile(shm / "log.csv", disk / "log.csv", false));
    EXPECT_TRUE(files.Exists(shm / "log.csv"));
    EXPECT_EQ("old target", ReadFile(disk / "log.csv"));

    ASSERT_EQ(kSuccess, files.MoveFile(shm / "log.csv", disk / "log.csv", true));
    EXPECT_FALSE(files.Exists(shm / "log.csv"));
    EXPECT_EQ(payload, ReadFile(disk / "log.csv"));
    // No temporary copy is left beside the target.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(disk.Path()),
                               std::filesystem::directory_iterator()));
}

TEST(FileSystem, MoveStatuses) {
    CTempDir dir;
    IFileSystem& files = DefaultPlatform().files;
    EXPECT_EQ(kFileNotFound, files.MoveFile(dir / "absent", dir / "x", true));
    WriteFile(dir / "a", "a");
    EXPECT_NE(kSuccess, files.MoveFile(dir / "a", dir / "no/such/folder", true));
    EXPECT_TRUE(files.Exists(dir / "a"));
    ASSERT_EQ(kSuccess, files.MoveFile(dir / "a", dir / "b", false));
    EXPECT_EQ("a", ReadFile(dir / "b"));
}

TEST(FileSystem, ReadOnlyAttributeGuardsDelete) {
    CTempDir dir;
    IFileSystem& files = DefaultPlatform().files;
    WriteFile(dir / "r.csv", "x");
    ASSERT_EQ(kSuccess, files.SetAttributes(dir / "r.csv", kAttributeReadOnly));
    std::uint32_t attributes = 0;
    ASSERT_EQ(kSuccess, files.GetAttributes(dir / "r.csv", &attributes));
    EXPECT_TRUE(attributes & kAttributeReadOnly);
    EXPECT_EQ(kAccessDenied, files.RemoveFile(dir / "r.csv"));
    EXPECT_EQ(kAccessDenied, DefaultPlatform().system.LastError());

    ASSERT_EQ(kSuccess, files.SetAttributes(dir / "r.csv", kAttributeNormal));
    ASSERT_EQ(kSuccess, files.GetAttributes(dir / "r.csv", &attributes));
    EXPECT_EQ(kAttributeNormal, attributes);
    EXPECT_EQ(kSuccess, files.RemoveFile(dir / "r.csv"));
    EXPECT_EQ(kFileNotFound, files.RemoveFile(dir / "r.csv"));
}

TEST(FileSystem, CreateFolderStatuses) {
    CTempDir dir;
    IFileSystem& files = DefaultPlatform().files;
    EXPECT_EQ(kSuccess, files.CreateFolder(dir / "LogError"));
    EXPECT_EQ(kAlreadyExists, files.CreateFolder(dir / "LogError"));
    EXPECT_EQ(kPathNotFound, files.CreateFolder(dir / "a/b"));
}

TEST(System, ErrorTextEnvironmentAndModule) {
    ISystem& system = DefaultPlatform().system;
    std::string text = system.ErrorText(kFileNotFound);
    EXPECT_EQ("No such file or directory\n", text);
    EXPECT_EQ("", system.ErrorText(99999));
    CScopedEnv env("FERROWIN_TEST_VAR", "value");
    EXPECT_EQ("a value b %UNSET_FERROWIN% 100%",
              system.ExpandEnvironment("a %FERROWIN_TEST_VAR% b %UNSET_FERROWIN% 100%"));
    EXPECT_NE(std::string::npos, system.ModuleFileName().find("platform_tests"));
    LocalTime now = system.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_LT(now.milliseconds, 1000);
}

}  // namespace
