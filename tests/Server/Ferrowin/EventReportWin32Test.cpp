// The importer's event binding on Windows (or Wine): pellinor.dll found
// through "InstallPath" in the real registry, and the catalogue's texts in
// code page 932.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "Platform/Win32/Win32Api.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/MessageCatalogue.h"
#include "tests/Support/Win32Child.h"

namespace {

constexpr char kDbManager[] = "SOFTWARE\\Zorel\\Kestrafold\\DBManager";

// A folder with a copy of Pellinor.dll under the name the importer loads,
// named by "InstallPath"; the key is removed again afterwards.
class EventReportWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(BesideThisProgram("Pellinor.dll"), m_install / "pellinor.dll");
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDbManager, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        Platform::Win32::CKeyHandle owner(key);
        std::string folder = m_install.Path() + "\\";
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "InstallPath", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(folder.c_str()),
                                                static_cast<DWORD>(folder.size() + 1)));
    }
    void TearDown() override {
        m_binding.UnloadEventLibrary();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zorel\\Kestrafold");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zorel\\Kestrafold");
    }
    CTempDir m_install;
    CEventBinding m_binding{Platform::DefaultPlatform()};
};

// The event is written through the bound library; under Wine its text
// shows on the "eventlog" debug channel, decoded from code page 932
// (tools/test.sh checks it).
TEST_F(EventReportWin32, BindsThePellinorNamedByInstallPath) {
    EXPECT_EQ(1, m_binding.ReportLogEvent(EventId(EventMessage::BulkLoadException),
                                          EventText(EventMessage::BulkLoadException)));
    ASSERT_NE(nullptr, m_binding.EventLibraryHandle());
    EXPECT_TRUE(m_binding.EventEntryBound());
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(static_cast<HMODULE>(m_binding.EventLibraryHandle()), loaded, MAX_PATH);
    EXPECT_EQ(0, _stricmp((m_install / "pellinor.dll").c_str(), loaded)) << loaded;

    m_binding.UnloadEventLibrary();
    EXPECT_EQ(nullptr, m_binding.EventLibraryHandle());
    EXPECT_EQ(nullptr, GetModuleHandleA((m_install / "pellinor.dll").c_str()));
}

// The catalogue is compiled to code page 932: データベース starts the text.
TEST(MessageCatalogueWin32, TextsAreCodePage932) {
    const char* text = EventText(EventMessage::BulkLoadException);
    EXPECT_EQ(0, std::strncmp("\x83\x66\x81\x5B\x83\x5E\x83\x78\x81\x5B\x83\x58", text, 12));
}

}  // namespace
