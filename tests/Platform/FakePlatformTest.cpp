// The fake platform: faults by call and path, and the record of calls.
#include <gtest/gtest.h>

#include <functional>

#include "Platform/Fake/FakePlatform.h"

using namespace Platform;

namespace {

TEST(FakePlatform, InjectedMoveFailureLeavesTheSource) {
    CFakePlatform fake;
    fake.PutFile("/in/a.csv", "rows");
    fake.PutFolder("/backup");
    fake.FailCall(FakeCall::Relocate, "/in/a.csv", kSharingViolation, 1);
    IFileSystem& files = fake.Get().files;

    EXPECT_EQ(kSharingViolation, files.Relocate("/in/a.csv", "/backup/a.csv", true));
    EXPECT_EQ(kSharingViolation, fake.Get().system.LastError());
    EXPECT_TRUE(fake.HasFile("/in/a.csv"));
    EXPECT_FALSE(fake.HasFile("/backup/a.csv"));

    EXPECT_EQ(kSuccess, files.Relocate("/in/a.csv", "/backup/a.csv", true));  // once only
    EXPECT_EQ("rows", fake.FileContent("/backup/a.csv"));
    EXPECT_EQ((std::vector<std::string>{"Relocate /in/a.csv -> /backup/a.csv",
                                        "Relocate /in/a.csv -> /backup/a.csv"}),
              fake.Calls());
}

// The entry's COM start and stop show in the record, in order.
TEST(FakePlatform, RecordsComStartAndStop) {
    CFakePlatform fake;
    fake.Get().system.InitializeCom();
    fake.Get().system.UninitializeCom();
    EXPECT_EQ((std::vector<std::string>{"InitializeCom", "UninitializeCom"}), fake.Calls());
}

// Injected failures of the calls that set the last error on Windows set it
// here too.
TEST(FakePlatform, InjectedFailuresSetTheLastError) {
    struct {
        FakeCall call;
        std::function<bool(CPlatform&)> fails;
    } cases[] = {
        {FakeCall::ListFiles,
         [](CPlatform& p) {
             std::vector<FileEntry> e;
             return p.files.ListFiles("/in", "*.csv", false, &e) == kDiskFull;
         }},
        {FakeCall::Acquire,
         [](CPlatform& p) {
             std::unique_ptr<IHeldLock> held;
             return p.locks.Acquire("FerrowinLog", &held) == kDiskFull && !held;
         }},
        {FakeCall::WriteString,
         [](CPlatform& p) { return !p.profile.WriteString("S", "K", "V", "/in/a.ini"); }},
        {FakeCall::ReadWhole,
         [](CPlatform& p) {
             std::string c;
             return p.files.ReadWhole("/in/a.csv", &c) == kDiskFull;
         }},
        {FakeCall::ReplaceContent,
         [](CPlatform& p) {
             return p.files.ReplaceContent("/in/a.csv", "x", "/in/a.csv.COPY") == kDiskFull;
         }},
    };
    for (auto& c : cases) {
        CFakePlatform fake;
        fake.PutFile("/in/a.csv", "rows");
        fake.FailCall(c.call, "", kDiskFull, 1);
        EXPECT_TRUE(c.fails(fake.Get())) << static_cast<int>(c.call);
        EXPECT_EQ(kDiskFull, fake.Get().system.LastError()) << static_cast<int>(c.call);
        EXPECT_EQ("rows", fake.FileContent("/in/a.csv"));
    }
}

TEST(FakePlatform, RegistryValueFault) {
    CFakePlatform fake;
    fake.SetRegistryText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=\"1\"\n\"B\"=\"2\"\n");
    fake.FailCall(FakeCall::QueryValue, "B", kAccessDenied);
    IRegistry& registry = fake.Get().registry;
    RegKey key = 0;
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, "K", kKeyRead, &key));
    char data[8];
    std::uint32_t size = sizeof data;
    EXPECT_EQ(kSuccess, registry.QueryValue(key, "A", nullptr, data, &size));
    size = sizeof data;
    EXPECT_EQ(kAccessDenied, registry.QueryValue(key, "B", nullptr, data, &size));
}

}  // namespace
