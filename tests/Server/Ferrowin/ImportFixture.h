// A real installation in a temporary folder: a registry file, the product's
// settings, the real libpellinor.so writing to an event file, and an embedded
// database reached through the scripted provider, so that a test can make one
// statement fail in one line and leave the rest real.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/Ado/Scripted/ScriptedProvider.h"
#include "Platform/PlatformWrapper.h"
#include "Schema/LogKind.h"
#include "Server/Ferrowin/Entry.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/EventLog.h"
#include "tests/Support/TempDir.h"
#include "tools/LogGenerator.h"

// Tests run in parallel: each takes its own instance lock, so that only the
// tests about the lock meet another holder.
class CPrivateLocks : public Platform::CInstanceLockWrapper {
public:
    CPrivateLocks(Platform::IInstanceLock& target, std::string suffix)
        : CInstanceLockWrapper(target), m_suffix(std::move(suffix)) {}
    Platform::Status Acquire(const std::string& name,
                             std::unique_ptr<Platform::IHeldLock>* held) override {
        names.push_back(name);
        return CInstanceLockWrapper::Acquire(name + m_suffix, held);
    }
    std::vector<std::string> names;

private:
    std::string m_suffix;
};

class ImportFixture : public ::testing::Test {
protected:
    ImportFixture()
        : m_registryEnv("KESTRAFOLD_REGISTRY", m_root / "registry.reg"),
          m_eventEnv("KESTRAFOLD_EVENTLOG", m_root / "events.log"),
          m_locks(Platform::DefaultPlatform().locks,
                  "." + std::filesystem::path(m_root.Path()).filename().string()),
          m_platform(Platform::WithConcern(Platform::DefaultPlatform(), m_locks)) {}

    void SetUp() override {
        Ado::Scripted::Script().Reset();
        std::filesystem::create_directories(In());
        std::filesystem::create_directories(Install() + "Setting/2");
        std::filesystem::copy_file(PELLINOR_LIBRARY, Install() + "libpellinor.so");
        WriteRegistry(DefaultRegistry());
        // The product settings: the default error folder lies below the install folder.
        WriteFile(Install() + "Setting/2/product.ini",
                  "[LOG_TYPES]\r\nLOG_TYPE1=FileLogFile\r\n[PRODUCT_INFO]\r\n"
                  "PRODUCT_INSTALLPATH=" +
                      Install() + "\r\n");
    }

    std::string In() { return m_root / "in/"; }
    std::string Install() { return m_root / "install/"; }
    std::string Database() { return m_root / "veyrith.db"; }
    std::string Backup() { return m_root / "backup/"; }
    std::string Errors() { return m_root / "errors/"; }

    // The registry values of an installation; a test changes what it needs.
    std::string DefaultRegistry() {
        return "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"
               "\"InstallPath\"=\"" +
               Install() +
               "\"\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\r\n"
               "\"DSNName\"=\"Provider=Scripted;Target={Provider=Embedded;Data Source=" +
               Database() + "}\"\r\n\"DBUserID\"=\"\"\r\n\"DBPWD\"=\"\"\r\n";
    }
    void WriteRegistry(const std::string& text) { WriteFile(m_root / "registry.reg", text); }

    // KFSettings.ini with the backup and error folders ("" leaves one out).
    void SetFolders(const std::string& backup, const std::string& errors) {
        std::string ini = "[LOG_SETTINGS]\r\n";
        if (!backup.empty())
            ini += "IMPORT_BACKUP_PATH=" + backup + "\r\n";
        if (!errors.empty())
            ini += "IMPORT_ERR_PATH=" + errors + "\r\n";
        WriteFile(Install() + "Setting/KFSettings.ini", ini);
    }

    // A sample log of `kind` in the input folder.
    std::string PutLog(LogKind kind, const std::string& name, int rows,
                       Sample::Fault fault = Sample::Fault::None, int faultEvery = 0) {
        Sample::CLogGenerator generator(static_cast<std::uint32_t>(kind + 1));
        EXPECT_TRUE(generator.WriteFile(In() + name, kind, static_cast<std::uint64_t>(rows), fault,
                                        static_cast<std::uint64_t>(faultEvery)));
        return In() + name;
    }

    int Run(const std::string& directory) {
        const char* argv[] = {"ferrowin", directory.c_str()};
        return RunFerrowin(m_platform, 2, argv);
    }

    std::vector<LoggedEvent> Events() { return ReadEvents(m_root / "events.log"); }
    std::vector<std::string> EventIds() {
        std::vector<std::string> ids;
        for (const LoggedEvent& e : Events()) ids.push_back(e.id);
        return ids;
    }

    // The number in column "n" of a query's first row, -1 when none.
    std::int64_t Query(const std::string& sql) {
        CADODatabase db;
        EXPECT_TRUE(db.Open("Provider=Embedded;Data Source=" + Database()));
        CADORecordset recordset(&db);
        EXPECT_TRUE(recordset.Open(sql)) << recordset.GetLastErrorText();
        std::int64_t value = -1;
        if (recordset.GetRecordCount() != 0)
            recordset.GetFieldValue("n", value);
        return value;
    }
    std::int64_t Rows(LogKind kind) {
        return Query(std::string("SELECT COUNT(*) as n FROM ") + LogKindTable(kind));
    }

    bool Exists(const std::string& path) { return std::filesystem::exists(path); }

    CTempDir m_root;
    CScopedEnv m_registryEnv, m_eventEnv;
    CPrivateLocks m_locks;
    Platform::CPlatform m_platform;
};
