// The collector on the fake platform: the branches that a real file system
// cannot be made to take, and the rules that need no database.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Platform/Ado/Scripted/ScriptedProvider.h"
#include "Platform/Fake/FakePlatform.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"

using namespace Platform;
using Ado::Scripted::Script;

namespace {

std::vector<std::pair<std::string, std::string>> g_events;

int RecordEvent(const char* id, const char* text) {
    g_events.emplace_back(id, text);
    return 1;
}

std::vector<std::string> Ids() {
    std::vector<std::string> ids;
    for (const auto& e : g_events) ids.push_back(e.first);
    return ids;
}

const char kRegistry[] =
    "REGEDIT4\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\n"
    "\"InstallPath\"=\"/opt/kf/\"\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\n"
    "\"DSNName\"=\"Provider=Scripted\"\n"
    "\"DBUserID\"=\"sa\"\n"
    "\"DBPWD\"=\"pw\"\n";

Ado::ResultSet Number(const char* column, std::int64_t value) {
    return {{column}, {{Ado::Variant::I8(value)}}};
}

// A load whose high-water mark moves from `before` to `after`.
void ScriptLoad(std::int64_t before, std::int64_t after) {
    Script().AnswerQuery("SELECT MAX(LogID)", Number("LogID", before));
    Script().AnswerQuery("SELECT MAX(LogID)", Number("LogID", after));
}

// An installation on the fake: the registry, the event library that
// records, and the input folder; no events and no script yet.
void Install(CFakePlatform& fake) {
    g_events.clear();
    Script().Reset();
    fake.SetRegistryText(kRegistry);
    // Found through InstallPath, or beside the program when that cannot be read.
    for (const char* path : {"/opt/kf/libpellinor.so", "/opt/kestrafold/bin/libpellinor.so"})
        fake.AddLibrary(path, {{"SendLogSvrLog", reinterpret_cast<LibrarySymbol>(&RecordEvent)}});
    fake.PutFolder("/in");
}

class CollectFake : public ::testing::Test {
protected:
    void SetUp() override { Install(m_fake); }

    CFakePlatform m_fake;
};

TEST_F(CollectFake, KindsFromTheBaseName) {
    CEventBinding events(m_fake.Get());
    CLogCollect collect(m_fake.Get(), events);
    const struct {
        const char* path;
        LogKind kind;
    } cases[] = {
        {"/in/FileLogFile_PC1.csv", 0},
        {"/in/fILELOGfILE_pc1.CSV", 0},
        {"C:\\in\\MailLogFile.csv", 1},
        {"C:\\in/sub\\URLLogFile_1.csv", 2},
        {"/in/x_MailLogFile.csv", -1},
        {"/in/FileLogFile_1.csvx", -1},
        {"/in/FileLogFile_1.txt", -1},
        {"/in/AsInstallSoftwareLogFile/notes.csv", -1},
        {"/in/LogonLogFile.csv", 16},
        {"/in/AsPrinterLogFile.csv", 15},
        {"csv", -1},
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.kind, collect.GetLogKind(c.path)) << c.path;
    EXPECT_EQ(-1, collect.GetLogKind(nullptr));
}

TEST_F(CollectFake, DatesOfTheInstallSoftwareLog) {
    CEventBinding events(m_fake.Get());
    CLogCollect collect(m_fake.Get(), events);
    const struct {
        const char* text;
        int valid;
    } cases[] = {
        {"2008/02/29", 1}, {"2000/02/29", 1}, {"2008/01/15 10:20:30", 1}, {"2008/12/31", 1},
        {"2007/02/29", 0}, {"1900/02/29", 0}, {"2008/13/01", 0},          {"2008/04/31", 0},
        {"0000/01/01", 0}, {"2008/1/15", 0},  {"2008-01-15", 0},          {"", 0},
        {"2008/00/10", 0}, {"2008/01/00", 0}, {"2008/01/155", 0},         {"2008/01/1", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.valid, collect.IsValidDate(c.text)) << c.text;
    EXPECT_EQ(0, collect.IsValidDate(nullptr));
}

std::string Line(std::vector<std::string> fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\xFE" : "") + fields[i];
    return line;
}

std::string Fields15(const std::string& date, const std::string& last = "last") {
    return Line({"1", "2008/01/01 10:00:00", "PC", "user", "A", "B", "C", "D", "E", "F", date, "G",
                 "H", "I", last});
}

TEST_F(CollectFake, InstallSoftwareRewrite) {
    const std::string longField(5000, 'w');
    const std::string longLine = Fields15("2008/02/29", std::string(3000, 'z'));
    const struct {
        const char* name;
        std::string before, after;
    } cases[] = {
        {"valid date kept, CR LF kept", Fields15("2008/02/29") + "\r\n",
         Fields15("2008/02/29") + "\r\n"},
        {"invalid date emptied", Fields15("2007/02/29") + "\r\n", Fields15("") + "\r\n"},
        {"LF alone becomes CR LF", Fields15("2008/01/15") + "\n", Fields15("2008/01/15") + "\r\n"},
        {"last line without an end keeps none", Fields15("bad") + "\r\n" + Fields15("x"),
         Fields15("") + "\r\n" + Fields15("")},
        {"long fields and lines stay whole", Fields15(longField) + "\r\n" + longLine + "\r\n",
         Fields15("") + "\r\n" + longLine + "\r\n"},
        {"short lines get no separator", Line({"1", "2", "3"}) + "\r\n",
         Line({"1", "2", "3"}) + "\r\n"},
        {"more fields stay apart",
         Fields15("bad") + "\xFE"
                           "extra\r\n",
         Fields15("") + "\xFE"
                        "extra\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_fake.PutFile("/in/AsInstallSoftwareLogFile_1.csv", c.before);
        CEventBinding events(m_fake.Get());
        CLogCollect collect(m_fake.Get(), events);
        collect.PrepareInstallSoftwareLog("/in/AsInstallSoftwareLogFile_1.csv");
        EXPECT_EQ(c.after, m_fake.FileContent("/in/AsInstallSoftwareLogFile_1.csv"));
        EXPECT_FALSE(m_fake.HasFile("/in/AsInstallSoftwareLogFile_1.csv.COPY"));
    }
}

TEST_F(CollectFake, InstallSoftwareRewriteChoosesItsFilesAndKeepsThemOnFailure) {
    CEventBinding events(m_fake.Get());
    CLogCollect collect(m_fake.Get(), events);
    const std::string bad = Fields15("2008/13/01") + "\r\n";
    // The path test is exact and looks at folders too.
    m_fake.PutFile("/in/asinstallsoftwarelogfile_1.csv", bad);
    m_fake.PutFile("/in/AsInstallSoftwareLogFile/FileLogFile_1.csv", bad);
    collect.PrepareInstallSoftwareLog("/in/asinstallsoftwarelogfile_1.csv");
    collect.PrepareInstallSoftwareLog("/in/AsInstallSoftwareLogFile/FileLogFile_1.csv");
    EXPECT_EQ(bad, m_fake.FileContent("/in/asinstallsoftwarelogfile_1.csv"));
    EXPECT_EQ(Fields15("") + "\r\n",
              m_fake.FileContent("/in/AsInstallSoftwareLogFile/FileLogFile_1.csv"));

    // A failed replace leaves the original whole and says so.
    m_fake.PutFile("/in/AsInstallSoftwareLogFile_2.csv", bad);
    m_fake.FailCall(FakeCall::ReplaceContent, "", kDiskFull, 1);
    testing::internal::CaptureStderr();
    collect.PrepareInstallSoftwareLog("/in/AsInstallSoftwareLogFile_2.csv");
    collect.PrepareInstallSoftwareLog("/in/AsInstallSoftwareLogFile_missing.csv");
    m_fake.PutFile("/in/AsInstallSoftwareLogFile_empty.csv", "");
    collect.PrepareInstallSoftwareLog("/in/AsInstallSoftwareLogFile_empty.csv");
    EXPECT_EQ(
        "I/O error: /in/AsInstallSoftwareLogFile_2.csv.COPY\n"
        "file open error: /in/AsInstallSoftwareLogFile_missing.csv\n"
        "I/O error: /in/AsInstallSoftwareLogFile_empty.csv.COPY\n",
        testing::internal::GetCapturedStderr());
    EXPECT_EQ(bad, m_fake.FileContent("/in/AsInstallSoftwareLogFile_2.csv"));
    EXPECT_EQ("", m_fake.FileContent("/in/AsInstallSoftwareLogFile_empty.csv"));
}

// Where an imported or failed file ends when the moves fail.
TEST_F(CollectFake, RelocationWhenMovesFail) {
    const std::string kSettings = "/opt/kf/Setting/KFSettings.ini";
    const struct {
        const char* name;
        std::int64_t after;  // 6: imported, 5: not
        int result;
        const char* ini;
        std::function<void(CFakePlatform&)> faults;
        std::vector<std::string> events;
        std::vector<std::string> present, absent;
    } cases[] = {
        {"imported, no backup folder: deleted",
         6,
         1,
         "",
         [](CFakePlatform&) {},
         {},
         {},
         {"/in/FileLogFile_1.csv"}},
        {"imported, relative backup joined to InstallPath",
         6,
         1,
         "[LOG_SETTINGS]\nIMPORT_BACKUP_PATH=bk\n",
         [](CFakePlatform& f) { f.PutFolder("/opt/kf/bk"); },
         {},
         {"/opt/kf/bk/FileLogFile_1.csv"},
         {"/in/FileLogFile_1.csv"}},
        {"imported, delete fails",
         6,
         1,
         "",
         [](CFakePlatform& f) { f.FailCall(FakeCall::RemoveFile, "", kSharingViolation); },
         {"050601"},
         {"/in/FileLogFile_1.csv"},
         {}},
        {"imported, backup folder missing: .err",
         6,
         1,
         "[LOG_SETTINGS]\nIMPORT_BACKUP_PATH=/none\n",
         [](CFakePlatform&) {},
         {"050603"},
         {"/in/FileLogFile_1.csv.err"},
         {"/in/FileLogFile_1.csv"}},
        {"imported, rename fails too",
         6,
         1,
         "[LOG_SETTINGS]\nIMPORT_BACKUP_PATH=/none\n",
         [](CFakePlatform& f) { f.FailCall(FakeCall::Relocate, "", kSharingViolation); },
         {"050603", "050604"},
         {"/in/FileLogFile_1.csv"},
         {"/in/FileLogFile_1.csv.err"}},
        {"failed, error folder set",
         5,
         0,
         "[LOG_SETTINGS]\nIMPORT_ERR_PATH=/errors\n",
         [](CFakePlatform& f) { f.PutFolder("/errors"); },
         {"010109", "-2147472426"},
         {"/errors/FileLogFile_1.csv"},
         {"/in/FileLogFile_1.csv"}},
        {"failed, move fails, file gone meanwhile",
         5,
         0,
         "[LOG_SETTINGS]\nIMPORT_ERR_PATH=/errors\n",
         [](CFakePlatform& f) {
             f.FailCall(FakeCall::Relocate, "", kSharingViolation);
             f.FailCall(FakeCall::GetAttributes, "/in/FileLogFile_1.csv", kFileNotFound);
         },
         {"010109", "-2147472426"},
         {},
         {}},
        {"failed, error folder missing, rename fails",
         5,
         0,
         "[LOG_SETTINGS]\nIMPORT_ERR_PATH=/none\n",
         [](CFakePlatform& f) { f.FailCall(FakeCall::Relocate, "", kSharingViolation); },
         {"010109", "-2147472426", "050603", "050604"},
         {"/in/FileLogFile_1.csv"},
         {}},
        {"clearing read-only fails",
         6,
         0,
         "",
         [](CFakePlatform& f) {
             f.PutFile("/in/FileLogFile_1.csv", "rows", kAttributeReadOnly);
             f.FailCall(FakeCall::SetAttributes, "", kAccessDenied);
         },
         {"050501"},
         {"/in/FileLogFile_1.csv"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakePlatform fake;
        Install(fake);
        fake.PutFile("/in/FileLogFile_1.csv", "rows");
        fake.PutFile(kSettings, c.ini);
        c.faults(fake);
        ScriptLoad(5, c.after);
        CEventBinding events(fake.Get());
        CLogCollect collect(fake.Get(), events);
        ASSERT_TRUE(collect.Initialize());
        EXPECT_EQ(c.result, collect.ImportLogFile("/in/FileLogFile_1.csv"));
        EXPECT_EQ(c.events, Ids());
        for (const std::string& p : c.present) EXPECT_TRUE(fake.HasFile(p)) << p;
        for (const std::string& p : c.absent) EXPECT_FALSE(fake.HasFile(p)) << p;
    }
}

// The events of the configuration and connection, in order.
TEST_F(CollectFake, InitializeReportsWhatItCannotRead) {
    const struct {
        const char* name;
        std::string registry;
        std::function<void(CFakePlatform&)> faults;
        int result;
        std::vector<std::string> events;
    } cases[] = {
        {"all there", kRegistry, [](CFakePlatform&) {}, 1, {}},
        {"InstallPath unreadable",
         kRegistry,
         [](CFakePlatform& f) { f.FailCall(FakeCall::QueryValue, "InstallPath", kAccessDenied); },
         1,
         {"010117"}},
        {"no product keys at all", "REGEDIT4\n", [](CFakePlatform&) {}, 0, {"010118"}},
        {"DSNName missing: the open is still tried",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\n\"DBPWD\"=\"x\"\n",
         [](CFakePlatform&) {},
         0,
         {"010114", "010115", "010201"}},
        {"the open fails",
         kRegistry,
         [](CFakePlatform&) { Script().FailOpen(Ado::kEFail, "[08001] no server"); },
         0,
         {"010201"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakePlatform fake;
        Install(fake);
        fake.SetRegistryText(c.registry);
        c.faults(fake);
        CEventBinding events(fake.Get());
        CLogCollect collect(fake.Get(), events);
        EXPECT_EQ(c.result, collect.Initialize() ? 1 : 0);
        EXPECT_EQ(c.events, Ids());
        if (!g_events.empty() && g_events.back().first == "010201") {
            EXPECT_EQ(0u, g_events.back().second.find("データベースの接続に失敗しました。"));
            EXPECT_GT(g_events.back().second.size(),
                      std::string("データベースの接続に失敗しました。").size());
        }
    }
}

TEST_F(CollectFake, SettingsFilesKeysAndTheDefaultErrorFolder) {
    m_fake.SetEnvironment("SystemDrive", "/srv");
    m_fake.PutFile("/opt/kf/Setting/2/a.ini", "[LOG_TYPES]\nLOG_TYPE3=Other\n");  // no LOG_TYPE1
    m_fake.PutFile("/opt/kf/Setting/2/b.ini",
                   "[LOG_TYPES]\nLOG_TYPE1=FILES\nLOG_TYPE3=WebLog\n"
                   "[PRODUCT_INFO]\nPRODUCT_INSTALLPATH=%SystemDrive%/Prod\n");
    CEventBinding events(m_fake.Get());
    CLogCollect collect(m_fake.Get(), events);
    ASSERT_TRUE(collect.Initialize());
    EXPECT_EQ("files", collect.LogFileKey(0));
    EXPECT_EQ("weblog", collect.LogFileKey(2));
    EXPECT_EQ("printlogfile", collect.LogFileKey(3));
    EXPECT_EQ("/srv/Prod/LogError/", collect.ErrorFolder());
    EXPECT_TRUE(m_fake.Get().files.Exists("/srv/Prod/LogError"));
    EXPECT_EQ(2, collect.GetLogKind("/in/WEBLOG_1.csv"));
    EXPECT_EQ(-1, collect.GetLogKind("/in/URLLogFile_1.csv"));
    EXPECT_EQ(1, collect.Initialize());  // open already: nothing is read again
}

TEST_F(CollectFake, CreateFolderPathEndsWhereALevelCannotBeMade) {
    CEventBinding events(m_fake.Get());
    CLogCollect collect(m_fake.Get(), events);
    m_fake.FailCall(FakeCall::CreateFolder, "/a/b/", kAccessDenied);
    collect.CreateFolderPath("/a/b/c/d");
    EXPECT_TRUE(m_fake.Get().files.Exists("/a"));
    EXPECT_FALSE(m_fake.Get().files.Exists("/a/b/c"));
    collect.CreateFolderPath("/x/y");
    EXPECT_TRUE(m_fake.Get().files.Exists("/x/y"));
}

// The data-running claim and the procedure's reports.
TEST_F(CollectFake, ClaimAndProcedure) {
    const struct {
        const char* name;
        std::function<void()> script;
        int claimed;
        std::vector<std::string> events;
        std::string firstText = "";
    } cases[] = {
        {"no row: inserted and claimed",
         [] {
             Script().AnswerQuery("select DataRunning", {{"DataRunning"}, {}});
         },
         1,
         {}},
        {"1 is claimed again",
         [] { Script().AnswerQuery("select DataRunning", Number("DataRunning", 1)); },
         1,
         {}},
        {"2 is someone else's",
         [] { Script().AnswerQuery("select DataRunning", Number("DataRunning", 2)); },
         0,
         {}},
        {"NULL reads as 0",
         [] {
             Script().AnswerQuery("select DataRunning",
                                  {{"DataRunning"}, {{Ado::Variant::Null()}}});
         },
         1,
         {}},
        {"the read fails",
         [] { Script().FailStatement("select DataRunning", Ado::kDbErrorsInCommand, "no table"); },
         0,
         {"010121"}},
        {"the claim fails silently",
         [] { Script().FailStatement("set DataRunning = 1", Ado::kDbErrorsInCommand, "locked"); },
         0,
         {}},
        {"the procedure returns a padded message",
         [] {
             Script().SetOutputs(
                 "prdUpdateVYLog",
                 {{"strReturn", Ado::Variant::Text("  bad row" + std::string(247, ' '))}});
         },
         1,
         {"010101"},
         "[prdUpdateVYLog]の実行でエラーが発生しました：bad row"},
        {"the procedure returns blanks",
         [] {
             Script().SetOutputs("prdUpdateVYLog",
                                 {{"strReturn", Ado::Variant::Text(std::string(256, ' '))}});
         },
         1,
         {}},
        {"the procedure is missing",
         [] {
             Script().FailProcedure("prdUpdateVYLog", Ado::kDbErrorsInCommand, "2812 not found");
         },
         1,
         {"010109"},
         "データベースのアクセスに失敗しました。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakePlatform fake;
        Install(fake);
        CEventBinding events(fake.Get());
        CLogCollect collect(fake.Get(), events);
        ASSERT_TRUE(collect.Initialize());
        c.script();
        // Unless the case says otherwise, the table holds 0.
        Script().AnswerQuery("select DataRunning", Number("DataRunning", 0));
        collect.BeginDataRunning();
        EXPECT_EQ(c.claimed, collect.DataRunning());
        collect.RunUpdateProcedure();
        EXPECT_EQ(c.events, Ids());
        if (!c.firstText.empty()) {
            ASSERT_FALSE(g_events.empty());
            EXPECT_EQ(0u, g_events[0].second.find(c.firstText)) << g_events[0].second;
        }
    }
}

// The run's decisions from what the listing found.
TEST_F(CollectFake, RunClaimsProceduresAndReleasesByWhatItFinds) {
    const struct {
        const char* name;
        const char* directory;
        std::function<void(CFakePlatform&)> files;
        bool claims, procedure;
        const char* listed;
    } cases[] = {
        {"empty argument: the program's folder", "", [](CFakePlatform&) {}, false, false,
         "ListFiles /opt/kestrafold/bin/"},
        {"nothing matches: no claim", "/in", [](CFakePlatform&) {}, false, false, "ListFiles /in/"},
        {"a folder alone is enough to claim", "/in/",
         [](CFakePlatform& f) { f.PutFolder("/in/FileLogFile_dir.csv"); }, true, false,
         "ListFiles /in/"},
        {"a file of no kind: claimed and released, no procedure", "/in",
         [](CFakePlatform& f) { f.PutFile("/in/other.csv", "x"); }, true, false, "ListFiles /in/"},
        {"an imported file: the procedure once", "/in",
         [](CFakePlatform& f) {
             f.PutFile("/in/FileLogFile_1.csv", "x");
             f.PutFile("/in/FileLogFile_2.csv", "x");
             ScriptLoad(1, 2);
             ScriptLoad(2, 3);
         },
         true, true, "ListFiles /in/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakePlatform fake;
        Install(fake);
        Script().AnswerQuery("select DataRunning", Number("DataRunning", 0));
        c.files(fake);
        {
            CEventBinding events(fake.Get());
            CLogCollect collect(fake.Get(), events);
            collect.Run(c.directory);
        }
        std::vector<std::string> statements;
        int procedures = 0;
        for (const auto& seen : Script().Log()) {
            if (seen.call == Ado::Scripted::Call::Statement)
                statements.push_back(seen.text);
            procedures += seen.call == Ado::Scripted::Call::Procedure;
        }
        auto ran = [&](const char* sql) {
            return std::count(statements.begin(), statements.end(), sql);
        };
        EXPECT_EQ(c.claims ? 1 : 0, ran("select DataRunning from VY_AsDataRunning"));
        EXPECT_EQ(c.claims ? 1 : 0, ran("UPDATE VY_AsDataRunning set DataRunning = 1"));
        EXPECT_EQ(c.claims ? 1 : 0, ran("UPDATE VY_AsDataRunning set DataRunning = 0"));
        EXPECT_EQ(c.procedure ? 1 : 0, procedures);
        const auto& calls = fake.Calls();
        EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), std::string(c.listed)));
        EXPECT_TRUE(g_events.empty());
    }
}

// Every outcome of a load: the result, the events in order, where the file goes.
TEST_F(CollectFake, OutcomesOfTheLoad) {
    const std::string kRegistryNegativeTimeout =
        std::string(kRegistry) +
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\n"
        "\"SQL_SP_TIMEOUT\"=dword:ffffffff\n";
    const struct {
        const char* name;
        std::function<void()> script;
        std::string registry;
        int result;
        std::vector<std::string> events;
        const char* endsIn;  // "" when the file stays in the input folder
        const char* detail;  // a text the first event must hold, or ""
    } cases[] = {
        {"loaded", [] { ScriptLoad(5, 9); }, kRegistry, 1, {}, "/backup/FileLogFile_1.csv", ""},
        {"nothing arrived",
         [] { ScriptLoad(5, 5); },
         kRegistry,
         0,
         {"010109", "-2147472426"},
         "/errors/FileLogFile_1.csv",
         ""},
        {"rejected but rows arrived",
         [] {
             Script().FailStatement("BULK INSERT", Ado::kDbErrorsInCommand, "row 3 bad");
             ScriptLoad(5, 6);
         },
         kRegistry,
         1,
         {},
         "/backup/FileLogFile_1.csv",
         ""},
        {"rejected, nothing arrived: the text follows the path",
         [] {
             Script().FailStatement("BULK INSERT", Ado::kDbTimeout, "Query timeout expired");
             ScriptLoad(5, 5);
         },
         kRegistry,
         0,
         {"010109", "-2147472426"},
         "/errors/FileLogFile_1.csv",
         "ログファイル[/in/FileLogFile_1.csv]のインポートに失敗しました。ADO Error: "},
        {"connection lost: left for the next run",
         [] {
             Script().FailStatement("BULK INSERT", Ado::kEFail, "link down");
             Script().AnswerQuery("SELECT MAX(LogID)", Number("LogID", 5));
         },
         kRegistry,
         0,
         {},
         "",
         ""},
        {"the first reading fails: counted from -1",
         [] {
             Script().FailStatement("SELECT MAX(LogID)", Ado::kDbErrorsInCommand, "busy");
             Script().AnswerQuery("SELECT MAX(LogID)", Number("LogID", 0));
         },
         kRegistry,
         1,
         {"010121"},
         "/backup/FileLogFile_1.csv",
         ""},
        {"the timeout cannot be set",
         [] { Script().AnswerQuery("SELECT MAX(LogID)", Number("LogID", 5)); },
         kRegistryNegativeTimeout,
         0,
         {"010108", "-2147472426"},
         "/errors/FileLogFile_1.csv",
         "データベースのアクセスに失敗しました。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFakePlatform fake;
        Install(fake);
        fake.SetRegistryText(c.registry);
        fake.PutFile("/in/FileLogFile_1.csv", "rows");
        fake.PutFolder("/backup");
        fake.PutFolder("/errors");
        fake.PutFile("/opt/kf/Setting/KFSettings.ini",
                     "[LOG_SETTINGS]\nIMPORT_BACKUP_PATH=/backup\nIMPORT_ERR_PATH=/errors/\n");
        CEventBinding events(fake.Get());
        CLogCollect collect(fake.Get(), events);
        ASSERT_TRUE(collect.Initialize());
        c.script();
        EXPECT_EQ(c.result, collect.ImportLogFile("/in/FileLogFile_1.csv"));
        EXPECT_EQ(c.events, Ids());
        if (*c.detail) {
            ASSERT_FALSE(g_events.empty());
            EXPECT_EQ(0u, g_events[0].second.find(c.detail)) << g_events[0].second;
        }
        EXPECT_EQ(*c.endsIn == 0, fake.HasFile("/in/FileLogFile_1.csv"));
        if (*c.endsIn) {
            EXPECT_EQ("rows", fake.FileContent(c.endsIn));
        }
        EXPECT_EQ(0u, Script().Pending());
    }
}

// The two registry numbers are read as 4 raw bytes whatever their type; a
// longer value leaves the default.
TEST_F(CollectFake, RegistryNumbers) {
    const struct {
        const char* values;
        std::int32_t maxErrors, timeout;
    } cases[] = {
        {"", 10, 3600},
        {"\"LOG_WRITEMAXERROR\"=dword:00000003\n\"SQL_SP_TIMEOUT\"=dword:0000003c\n", 3, 60},
        {"\"LOG_WRITEMAXERROR\"=\"12345\"\n\"SQL_SP_TIMEOUT\"=hex(b):01,00,00,00,00,00,00,00\n", 10,
         3600},
        {"\"LOG_WRITEMAXERROR\"=hex:05,00,00,00\n", 5, 3600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values);
        m_fake.SetRegistryText(std::string(kRegistry) +
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\n" +
                               c.values);
        CEventBinding events(m_fake.Get());
        CLogCollect collect(m_fake.Get(), events);
        ASSERT_TRUE(collect.Initialize());
        EXPECT_EQ(c.maxErrors, collect.WriteMaxError());
        EXPECT_EQ(c.timeout, collect.SqlSpTimeout());
    }
}

}  // namespace
