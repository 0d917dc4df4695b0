// Event reporting with the real Pellinor library, found through a registry file.
#include "Server/Ferrowin/EventReport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Brennick/Helpers.h"
#include "Platform/PlatformWrapper.h"
#include "Server/Ferrowin/MessageCatalogue.h"
#include "tests/Support/EventLog.h"

using namespace Platform;

namespace {

// The real libraries, with every Load path written down.
class CRecordingLibraries : public CDynamicLibraryWrapper {
public:
    CRecordingLibraries() : CDynamicLibraryWrapper(DefaultPlatform().libraries) {}
    Status Load(const std::string& path, LibraryHandle* handle) override {
        loads.push_back(path);
        return CDynamicLibraryWrapper::Load(path, handle);
    }
    std::vector<std::string> loads;
};

std::string RegistryWithInstallPath(const std::string& path) {
    std::string escaped;
    for (char c : path) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"
           "\"InstallPath\"=\"" +
           escaped + "\"\r\n";
}

bool Mapped(const std::string& path) {
    return ReadFile("/proc/self/maps").find(path) != std::string::npos;
}

class EventReportTest : public ::testing::Test {
protected:
    EventReportTest()
        : m_registryEnv("KESTRAFOLD_REGISTRY", m_root / "registry.reg"),
          m_eventEnv("KESTRAFOLD_EVENTLOG", m_root / "events.log"),
          m_platform(WithConcern(DefaultPlatform(), m_libraries)) {}

    void SetUp() override {
        std::filesystem::create_directory(m_root / "install");
        std::filesystem::copy_file(PELLINOR_LIBRARY, m_root / "install/libpellinor.so");
        SetInstallPath(m_root / "install");
    }
    void SetInstallPath(const std::string& path) {
        WriteFile(m_root / "registry.reg", RegistryWithInstallPath(path));
    }
    std::vector<LoggedEvent> Events() { return ReadEvents(m_root / "events.log"); }

    CTempDir m_root;
    CScopedEnv m_registryEnv, m_eventEnv;
    CRecordingLibraries m_libraries;
    CPlatform m_platform;
    CEventBinding m_binding{m_platform};
};

TEST_F(EventReportTest, IdentifiersAndTextsArriveUnchanged) {
    struct {
        std::string id;
        const char* number;
        EventMessage message;
    } cases[] = {
        {EventId(EventMessage::BulkLoadException), "10108", EventMessage::BulkLoadException},
        {EventId(EventMessage::BackupMoveFailed), "50603", EventMessage::BackupMoveFailed},
        {ImportFailureNoticeId(), "2147494870", EventMessage::ImportFailureNotice},
    };
    for (const auto& c : cases) {
        std::string text = FormatEventText(c.message, {"/in/FileLogFile_1.csv", "/backup"});
        EXPECT_EQ(1, m_binding.ReportLogEvent(c.id.c_str(), text.c_str()));
    }
    std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ("-2147472426", cases[2].id);
    EXPECT_EQ("10108", events[0].id);
    EXPECT_EQ("データベースのアクセスに失敗しました。", events[0].text);
    EXPECT_EQ("50603", events[1].id);
    EXPECT_EQ(
        "ログファイル[/in/FileLogFile_1.csv]をバックアップフォルダ[/backup]へ移動できませんでした。"
        "バックアップフォルダが存在するか確認してください。",
        events[1].text);
    EXPECT_EQ("2147494870", events[2].id);
    EXPECT_EQ("VeyrithログのDB書込みに失敗しました。/in/FileLogFile_1.csv,/backup", events[2].text);
}

TEST_F(EventReportTest, SystemErrorTextKeepsItsLineBreak) {
    DefaultPlatform().system.StoreLastError(kFileNotFound);
    EXPECT_EQ(1, m_binding.ReportLogEventWithSystemError(EventId(EventMessage::FileAccessFailed),
                                                         "[x]ファイルアクセスに失敗しました。"));
    std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ("50501", events[0].id);
    EXPECT_EQ("[x]ファイルアクセスに失敗しました。No such file or directory\\n", events[0].text);
}

TEST_F(EventReportTest, InstallPathWithOrWithoutSeparator) {
    for (std::string folder : {m_root / "install", m_root / "install/"}) {
        SetInstallPath(folder);
        m_libraries.loads.clear();
        EXPECT_EQ(1, m_binding.ReportLogEvent("010108", "x"));
        ASSERT_EQ(1u, m_libraries.loads.size());
        EXPECT_EQ(m_root / "install/libpellinor.so", m_libraries.loads[0]);
        m_binding.UnloadEventLibrary();
    }
}

TEST_F(EventReportTest, MissingKeyFallsBackToTheProgramFolder) {
    WriteFile(m_root / "registry.reg", "REGEDIT4\n");
    EXPECT_EQ(0, m_binding.ReportLogEvent("010108", "x"));
    ASSERT_EQ(1u, m_libraries.loads.size());
    EXPECT_EQ(GetModuleDirectory(DefaultPlatform().system) + "libpellinor.so",
              m_libraries.loads[0]);
}

TEST_F(EventReportTest, FailedLoadIsRetriedWithAFreshRegistryRead) {
    SetInstallPath(m_root / "empty");
    EXPECT_EQ(0, m_binding.ReportLogEvent("010108", "dropped"));
    EXPECT_EQ(nullptr, m_binding.EventLibraryHandle());
    SetInstallPath(m_root / "install");
    EXPECT_EQ(1, m_binding.ReportLogEvent("010109", "delivered"));
    EXPECT_EQ((std::vector<std::string>{m_root / "empty/libpellinor.so",
                                        m_root / "install/libpellinor.so"}),
              m_libraries.loads);
    std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ("delivered", events[0].text);
}

TEST_F(EventReportTest, LibraryWithoutTheExportIsNotLoadedAgainUntilUnloaded) {
    std::filesystem::create_directory(m_root / "noexport");
    std::filesystem::copy_file(NOEXPORT_LIBRARY, m_root / "noexport/libpellinor.so");
    SetInstallPath(m_root / "noexport");
    EXPECT_EQ(0, m_binding.ReportLogEvent("010108", "first"));
    EXPECT_NE(nullptr, m_binding.EventLibraryHandle());
    EXPECT_FALSE(m_binding.EventEntryBound());

    SetInstallPath(m_root / "install");  // a good library is there now, but not looked for
    EXPECT_EQ(0, m_binding.ReportLogEvent("010108", "second"));
    EXPECT_EQ(1u, m_libraries.loads.size());

    m_binding.UnloadEventLibrary();
    EXPECT_EQ(1, m_binding.ReportLogEvent("010108", "third"));
    EXPECT_EQ(2u, m_libraries.loads.size());
    std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ("third", events[0].text);
}

TEST_F(EventReportTest, UnloadReleasesTheLibrary) {
    ASSERT_EQ(1, m_binding.ReportLogEvent("010108", "x"));
    EXPECT_TRUE(Mapped(m_root / "install/libpellinor.so"));
    m_binding.UnloadEventLibrary();
    EXPECT_EQ(nullptr, m_binding.EventLibraryHandle());
    EXPECT_FALSE(m_binding.EventEntryBound());
    EXPECT_FALSE(Mapped(m_root / "install/libpellinor.so"));
}

TEST(MessageCatalogue, TableIsInEnumOrderAndComplete) {
    ASSERT_EQ(static_cast<size_t>(EventMessage::ImportFailureNotice) + 1, kCatalogueSize);
    for (size_t i = 0; i < kCatalogueSize; ++i)
        EXPECT_EQ(i, static_cast<size_t>(kCatalogue[i].message)) << kCatalogue[i].id;
    EXPECT_STREQ("010201", EventId(EventMessage::ConnectFailed));
    EXPECT_EQ("ログファイル[a%sb]のインポートに失敗しました。",
              FormatEventText(EventMessage::ImportFailed, {"a%sb"}));
    EXPECT_EQ("2026/12/03 09:05:07045", FormatNoticeTime(LocalTime{2026, 12, 4, 3, 9, 5, 7, 45}));
}

}  // namespace
