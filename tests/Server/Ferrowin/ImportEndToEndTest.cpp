// The importer end to end on this machine: real files, the embedded database,
// the real Pellinor writing events to a file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/Server/Ferrowin/ImportFixture.h"

using Ado::Scripted::Call;
using Ado::Scripted::Script;
using Sample::Fault;

namespace {

constexpr LogKind kFileLog = 0, kUrlLog = 2, kPrintLog = 3, kVirusLog = 6, kInstallSoftware = 14,
                  kLogon = 16;

int Count(const std::vector<std::string>& items, const std::string& item) {
    return static_cast<int>(std::count(items.begin(), items.end(), item));
}

class ImportEndToEnd : public ImportFixture {};

TEST_F(ImportEndToEnd, LoadsEveryKindMovesToBackupAndRunsTheProcedureOnce) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    for (const LogKindDef& kind : kLogKinds)
        PutLog(kind.index, std::string(kind.prefix) + "_PC-01_0001.csv", 5 + kind.index);
    // A folder named like a log file is no file, and other names are no kind.
    std::filesystem::create_directories(In() + "FileLogFile_folder.csv");
    WriteFile(In() + "notes.csv", "x");
    WriteFile(In() + "FileLogFile_x.csv.bak", "x");

    EXPECT_EQ(1, Run(In().substr(0, In().size() - 1)));  // no closing separator

    EXPECT_TRUE(Events().empty()) << Events()[0].id << " " << Events()[0].text;
    for (const LogKindDef& kind : kLogKinds) {
        SCOPED_TRACE(kind.prefix);
        EXPECT_EQ(5 + kind.index, Rows(kind.index));
        std::string name = std::string(kind.prefix) + "_PC-01_0001.csv";
        EXPECT_FALSE(Exists(In() + name));
        EXPECT_TRUE(Exists(Backup() + name));
    }
    EXPECT_TRUE(Exists(In() + "notes.csv"));
    EXPECT_TRUE(Exists(In() + "FileLogFile_x.csv.bak"));
    EXPECT_TRUE(Exists(In() + "FileLogFile_folder.csv"));
    EXPECT_EQ(0, Query("SELECT DataRunning as n FROM VY_AsDataRunning"));
    EXPECT_EQ(1, Query("SELECT COUNT(*) as n FROM VY_AsDataRunning"));
    EXPECT_EQ(5 + kLogon, Query("SELECT LogCount as n FROM VY_LogHistory WHERE TableName = "
                                "'VY_WinAuthLog'"));

    // The order of the run: claim, loads, procedure, release, close.
    std::vector<std::string> statements;
    int procedures = 0;
    for (const auto& seen : Script().Log()) {
        if (seen.call == Call::Procedure) {
            ++procedures;
            statements.push_back("{call " + seen.text + "}");
        } else if (seen.call == Call::Statement) {
            statements.push_back(seen.text);
        }
    }
    EXPECT_EQ(1, procedures);
    ASSERT_GE(statements.size(), 5u);
    EXPECT_EQ("select DataRunning from VY_AsDataRunning", statements[0]);
    EXPECT_EQ("insert into VY_AsDataRunning values(0)", statements[1]);
    EXPECT_EQ("UPDATE VY_AsDataRunning set DataRunning = 1", statements[2]);
    EXPECT_EQ("{call prdUpdateVYLog}", statements[statements.size() - 2]);
    EXPECT_EQ("UPDATE VY_AsDataRunning set DataRunning = 0", statements.back());
    EXPECT_EQ(Call::Close, Script().Log().back().call);
}

TEST_F(ImportEndToEnd, TheBulkLoadStatementAndItsTimeout) {
    std::string registry = DefaultRegistry();
    registry.insert(
        registry.find("\"InstallPath\""),
        "\"LOG_WRITEMAXERROR\"=dword:00000003\r\n\"SQL_SP_TIMEOUT\"=dword:0000003c\r\n");
    WriteRegistry(registry);
    PutLog(kUrlLog, "URLLogFile_it's.csv", 4);

    EXPECT_EQ(1, Run(In()));

    EXPECT_EQ(4, Rows(kUrlLog));
    std::vector<Ado::Scripted::SeenCall> loads;
    for (const auto& seen : Script().Log())
        if (seen.call == Call::Statement && seen.text.rfind("BULK INSERT", 0) == 0)
            loads.push_back(seen);
    ASSERT_EQ(1u, loads.size());
    // The server reads the file where the claim holds it: in the importer's
    // own folder beside the input folder, which the sender cannot change.
    struct stat in;
    ASSERT_EQ(0, stat(In().c_str(), &in));
    std::string quoted = m_root / (".ferrowin-claim/" + std::to_string(in.st_dev) + "." +
                                   std::to_string(in.st_ino) + "/URLLogFile_it's.csv");
    quoted.insert(quoted.find('\''), "'");
    EXPECT_EQ("BULK INSERT VY_UrlLog FROM '" + quoted +
                  "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = 3 )",
              loads[0].text);
    EXPECT_EQ(60, loads[0].timeoutSeconds);
}

TEST_F(ImportEndToEnd, FailedFilesGoToTheErrorFolderWithTheirEvents) {
    SetFolders("", Errors());
    std::filesystem::create_directories(Errors());
    std::string bad = PutLog(kUrlLog, "URLLogFile_bad.csv", 20, Fault::BadDate, 1);
    std::string empty = In() + "PrintLogFile_empty.csv";
    WriteFile(empty, "");
    std::string good = PutLog(kFileLog, "FileLogFile_good.csv", 3);

    EXPECT_EQ(1, Run(In()));

    // The good file is deleted: no backup folder is set.
    EXPECT_EQ(3, Rows(kFileLog));
    EXPECT_FALSE(Exists(good));
    EXPECT_FALSE(Exists(Errors() + "FileLogFile_good.csv"));
    for (std::string name : {"URLLogFile_bad.csv", "PrintLogFile_empty.csv"}) {
        EXPECT_FALSE(Exists(In() + name)) << name;
        EXPECT_TRUE(Exists(Errors() + name)) << name;
    }
    EXPECT_EQ(0, Rows(kUrlLog));

    std::vector<LoggedEvent> events = Events();
    std::vector<std::string> ids = EventIds();
    EXPECT_EQ(2, Count(ids, "10109"));
    EXPECT_EQ(2, Count(ids, "2147494870"));  // the import-failure notice
    for (const LoggedEvent& e : events) {
        if (e.id == "10109" && e.text.find(bad) != std::string::npos) {
            // The failed statement's own text follows the path.
            EXPECT_EQ(0u, e.text.find("ログファイル[" + bad + "]のインポートに失敗しました。"));
            EXPECT_NE(std::string::npos, e.text.find("maximum number of errors (10)"));
        } else if (e.id == "10109") {
            // The empty file's statement succeeded: nothing is appended.
            EXPECT_EQ("ログファイル[" + empty + "]のインポートに失敗しました。", e.text);
        } else if (e.id == "2147494870") {
            EXPECT_EQ(0u, e.text.find("VeyrithログのDB書込みに失敗しました。"));
            EXPECT_TRUE(e.text.find("," + bad) != std::string::npos ||
                        e.text.find("," + empty) != std::string::npos)
                << e.text;
        }
    }
    // Every notice comes before its file's move, after its 010109.
    ASSERT_EQ(4u, ids.size());
    EXPECT_EQ("10109", ids[0]);
    EXPECT_EQ("2147494870", ids[1]);
}

TEST_F(ImportEndToEnd, WithoutAnErrorFolderFailedFilesGoToTheProductsLogError) {
    PutLog(kUrlLog, "URLLogFile_bad.csv", 12, Fault::BadDate, 1);
    EXPECT_EQ(1, Run(In()));
    EXPECT_TRUE(Exists(Install() + "LogError/URLLogFile_bad.csv"));
    EXPECT_FALSE(Exists(In() + "URLLogFile_bad.csv"));
}

TEST_F(ImportEndToEnd, ALostConnectionLeavesTheFileAndTheNextLoadsOverANewOne) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    PutLog(kUrlLog, "URLLogFile_a.csv", 2);
    PutLog(kPrintLog, "PrintLogFile_b.csv", 3);
    // Whichever is listed first meets the lost connection.
    Script().FailStatement("BULK INSERT", Ado::kEFail, "[08S01] Communication link failure");

    EXPECT_EQ(1, Run(In()));

    EXPECT_TRUE(Events().empty());
    int stayed = Exists(In() + "URLLogFile_a.csv") + Exists(In() + "PrintLogFile_b.csv");
    int backedUp = Exists(Backup() + "URLLogFile_a.csv") + Exists(Backup() + "PrintLogFile_b.csv");
    EXPECT_EQ(1, stayed);
    EXPECT_EQ(1, backedUp);
    EXPECT_EQ(Exists(Backup() + "URLLogFile_a.csv") ? 2 : 3, Rows(kUrlLog) + Rows(kPrintLog));
    int opens = 0;
    for (const auto& seen : Script().Log()) opens += seen.call == Call::Open;
    EXPECT_EQ(2, opens);  // the layer reopened the connection

    // The next run loads the file that stayed.
    EXPECT_EQ(1, Run(In()));
    EXPECT_EQ(5, Rows(kUrlLog) + Rows(kPrintLog));
    EXPECT_FALSE(Exists(In() + "URLLogFile_a.csv"));
    EXPECT_FALSE(Exists(In() + "PrintLogFile_b.csv"));
}

TEST_F(ImportEndToEnd, AssetFilesWaitWhileSomeoneElseHoldsDataRunning) {
    {
        CADODatabase db;
        ASSERT_TRUE(db.Open("Provider=Embedded;Data Source=" + Database()));
        ASSERT_TRUE(db.Execute("insert into VY_AsDataRunning values(2)"));
    }
    std::string asset = PutLog(kVirusLog, "AsVirusLogFile_1.csv", 2);
    std::string plain = PutLog(kFileLog, "FileLogFile_1.csv", 2);

    EXPECT_EQ(1, Run(In()));

    EXPECT_TRUE(Exists(asset));
    EXPECT_EQ(0, Rows(kVirusLog));
    EXPECT_FALSE(Exists(plain));
    EXPECT_EQ(2, Rows(kFileLog));
    EXPECT_EQ(2, Query("SELECT DataRunning as n FROM VY_AsDataRunning"));
    for (const auto& seen : Script().Log())
        EXPECT_EQ(std::string::npos, seen.text.find("UPDATE")) << seen.text;
    EXPECT_TRUE(Events().empty());
}

TEST_F(ImportEndToEnd, InstallSoftwareDatesAreCleanedBeforeTheLoad) {
    Sample::CLogGenerator generator;
    std::string record = generator.Record(kInstallSoftware, 1);
    // Field 10 gets an impossible date; the line ends in LF alone.
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        size_t end = record.find('\xFE', start);
        fields.push_back(record.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    ASSERT_EQ(15u, fields.size());
    fields[10] = "2007/02/29";
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\xFE" : "") + fields[i];
    WriteFile(In() + "AsInstallSoftwareLogFile_1.csv", line + "\n" + record + "\r\n");

    EXPECT_EQ(1, Run(In()));

    EXPECT_TRUE(Events().empty()) << Events()[0].text;
    EXPECT_EQ(2, Rows(kInstallSoftware));
    EXPECT_EQ(1, Query("SELECT COUNT(*) as n FROM VY_AsInstallSoftware WHERE InstallDate IS NULL"));
    EXPECT_FALSE(Exists(In() + "AsInstallSoftwareLogFile_1.csv.COPY"));
}

TEST_F(ImportEndToEnd, ASecondInstanceExitsWithZeroAndTouchesNothing) {
    std::string path = PutLog(kFileLog, "FileLogFile_1.csv", 2);
    std::unique_ptr<Platform::IHeldLock> other;
    // Another importer holds the lock.
    ASSERT_EQ(Platform::kSuccess, m_locks.Acquire(kInstanceLockName, &other));

    EXPECT_EQ(0, Run(In()));

    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(Script().Log().empty());
    EXPECT_FALSE(Exists(Database()));
    EXPECT_EQ((std::vector<std::string>{"FerrowinLog", "FerrowinLog"}), m_locks.names);
}

// Real processes started together: the lock lets one of them import, so no
// file is loaded twice.
TEST_F(ImportEndToEnd, ProgramsStartedTogetherLoadEachFileOnce) {
    SetFolders(Backup(), "");
    std::filesystem::create_directories(Backup());
    for (int i = 0; i < 6; ++i) PutLog(kFileLog, "FileLogFile_" + std::to_string(i) + ".csv", 400);
    // Without the scripted provider: each process opens the database itself.
    std::string registry = DefaultRegistry();
    std::string scripted = "Provider=Scripted;Target={";
    registry.erase(registry.find(scripted), scripted.size());
    registry.erase(registry.find("}\""), 1);
    WriteRegistry(registry);

    std::string in = In();
    // Other tests run the program too: when one of them held the lock and
    // all four found it taken (exit 0, nothing touched), they start again.
    std::vector<int> codes;
    for (int attempt = 0; attempt < 200 && std::count(codes.begin(), codes.end(), 1) == 0;
         ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::vector<pid_t> children;
        for (int i = 0; i < 4; ++i) {
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                execl(FERROWIN_PROGRAM, FERROWIN_PROGRAM, in.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            children.push_back(pid);
        }
        codes.clear();
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        }
    }
    // Whoever ran exits 1, whoever found the lock taken 0; every file is in
    // the backup folder or still waiting, and none was loaded twice.
    for (int code : codes) EXPECT_TRUE(code == 0 || code == 1) << code;
    EXPECT_GE(std::count(codes.begin(), codes.end(), 1), 1);
    int backedUp = 0;
    for (int i = 0; i < 6; ++i)
        backedUp += Exists(Backup() + "FileLogFile_" + std::to_string(i) + ".csv");
    EXPECT_EQ(6, backedUp);
    EXPECT_EQ(400 * backedUp, Rows(kFileLog));
    EXPECT_TRUE(Events().empty());
}

TEST_F(ImportEndToEnd, ArgumentCountsOtherThanOneDoNothing) {
    std::string path = PutLog(kFileLog, "FileLogFile_1.csv", 2);
    const char* none[] = {"ferrowin"};
    const std::string in = In();
    const char* two[] = {"ferrowin", in.c_str(), in.c_str()};
    EXPECT_EQ(1, RunFerrowin(m_platform, 1, none));
    EXPECT_EQ(1, RunFerrowin(m_platform, 3, two));
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(Script().Log().empty());
}

}  // namespace
