// The fake platform: faults by call and path, and the record of calls.
#include <gtest/gtest.h>

#include "Platform/Fake/FakePlatform.h"

using namespace Platform;

namespace {

TEST(FakePlatform, InjectedMoveFailureLeavesTheSource) {
    CFakePlatform fake;
    fake.PutFile("/in/a.csv", "rows");
    fake.PutFolder("/backup");
    fake.FailCall("MoveFile", "/in/a.csv", kSharingViolation, 1);
    IFileSystem& files = fake.Get().files;

    EXPECT_EQ(kSharingViolation, files.MoveFile("/in/a.csv", "/backup/a.csv", true));
    EXPECT_EQ(kSharingViolation, fake.Get().system.LastError());
    EXPECT_TRUE(fake.HasFile("/in/a.csv"));
    EXPECT_FALSE(fake.HasFile("/backup/a.csv"));

    EXPECT_EQ(kSuccess, files.MoveFile("/in/a.csv", "/backup/a.csv", true));  // once only
    EXPECT_EQ("rows", fake.FileContent("/backup/a.csv"));
    EXPECT_EQ((std::vector<std::string>{"MoveFile /in/a.csv -> /backup/a.csv",
                                        "MoveFile /in/a.csv -> /backup/a.csv"}),
              fake.Calls());
}

TEST(FakePlatform, FilesBehaveLikeTheRealOnes) {
    CFakePlatform fake;
    IFileSystem& files = fake.Get().files;
    fake.PutFile("/in/A.CSV", "");
    fake.PutFile("/in/b.txt", "");
    fake.PutFolder("/in/sub.csv");
    std::vector<FileEntry> entries;
    ASSERT_EQ(kSuccess, files.ListFiles("/in", "*.csv", false, &entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("A.CSV", entries[0].name);
    EXPECT_EQ(kAlreadyExists, files.MoveFile("/in/A.CSV", "/in/b.txt", false));
    EXPECT_EQ(kPathNotFound, files.MoveFile("/in/A.CSV", "/none/x", true));
    fake.PutFile("/in/r", "", kAttributeReadOnly);
    EXPECT_EQ(kAccessDenied, files.RemoveFile("/in/r"));
    EXPECT_EQ(kFileNotFound, files.RemoveFile("/in/none"));
    EXPECT_EQ(kSuccess, files.CreateFolder("/in/new"));
    EXPECT_EQ(kAlreadyExists, files.CreateFolder("/in/new"));
}

TEST(FakePlatform, RegistryValueFaultAndLock) {
    CFakePlatform fake;
    fake.SetRegistryText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=\"1\"\n\"B\"=\"2\"\n");
    fake.FailCall("QueryValue", "B", kAccessDenied);
    IRegistry& registry = fake.Get().registry;
    RegKey key = 0;
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, "K", kKeyRead, &key));
    char data[8];
    std::uint32_t size = sizeof data;
    EXPECT_EQ(kSuccess, registry.QueryValue(key, "A", nullptr, data, &size));
    size = sizeof data;
    EXPECT_EQ(kAccessDenied, registry.QueryValue(key, "B", nullptr, data, &size));

    fake.HoldLock("FerrowinLog");
    std::unique_ptr<IHeldLock> held;
    EXPECT_EQ(kAlreadyExists, fake.Get().locks.Acquire("FerrowinLog", &held));
}

}  // namespace
