// The load ledger: the statements a server receives with and without the
// ledger table, a failure at each step of the load's transaction, and the
// real program killed on purpose between the commit and the move.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>

#include "Platform/Sha256.h"
#include "tests/Server/Ferrowin/ProgramFixture.h"

namespace {

using Ado::Scripted::Call;
using Ado::Scripted::Script;

constexpr LogKind kFileLog = 0;
const char kBookkeepingFailed[] = "10121";

std::string Sha256Of(const std::string& bytes) {
    Platform::CSha256 hash;
    hash.Update(bytes);
    return hash.FinishHex();
}

std::vector<std::string> Statements() {
    std::vector<std::string> texts;
    for (const auto& seen : Script().Log())
        if (seen.call == Call::Statement)
            texts.push_back(seen.text);
    return texts;
}

std::size_t Count(const std::vector<std::string>& texts, const std::string& part) {
    return static_cast<std::size_t>(std::count_if(
        texts.begin(), texts.end(), [&](auto& t) { return t.find(part) != std::string::npos; }));
}

std::chrono::sys_days Day(const std::string& iso) {
    int y = 0;
    unsigned m = 0, d = 0;
    std::sscanf(iso.c_str(), "%d-%u-%u", &y, &m, &d);
    return std::chrono::year{y} / std::chrono::month{m} / std::chrono::day{d};
}

class Ledger : public ProgramFixture {
protected:
    // Where the load reads a file of the input folder: its claim folder, beside
    // the input folder, named by the input folder's device and inode.
    std::string LoadPath(const std::string& name) {
        struct stat st;
        EXPECT_EQ(0, stat(In().c_str(), &st));
        return m_root / (".ferrowin-claim/" + std::to_string(st.st_dev) + "." +
                         std::to_string(st.st_ino) + "/" + name);
    }

    void SetUp() override {
        ProgramFixture::SetUp();
        WriteRegistry(DefaultRegistry());  // through the scripted provider
        std::filesystem::create_directories(Backup());
        std::filesystem::create_directories(Errors());
        SetFolders(Backup(), Errors());
    }
};

// What a server with the ledger table receives for one file: the load and its
// record in one explicit transaction around the unchanged statement. The
// table's presence is asked once per run.
TEST_F(Ledger, ServerWithTheTableGetsOneTransactionPerFile) {
    std::string path = PutLog(kFileLog, "FileLogFile_1.csv", 10);
    PutLog(kFileLog, "FileLogFile_2.csv", 10);
    std::string content = ReadFile(path), hash = Sha256Of(content);
    std::string size = std::to_string(content.size());
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, Run(In()));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    std::vector<std::string> texts = Statements();
    EXPECT_EQ(1u, Count(texts, "FROM VY_LoadLedger WHERE 1 = 0"));
    auto first = std::find(texts.begin(), texts.end(),
                           "SELECT COUNT(*) as n FROM VY_LoadLedger WHERE 1 = 0");
    ASSERT_NE(texts.end(), first);
    // The two files come in listing order; find this one's part.
    auto lookup = std::find(first, texts.end(),
                            "SELECT COUNT(*) as n FROM VY_LoadLedger WHERE FileName = "
                            "'FileLogFile_1.csv' AND FileSize = " +
                                size + " AND ContentHash = '" + hash + "'");
    ASSERT_LE(9, texts.end() - lookup) << "no look-up of the file";
    std::vector<std::string> load(lookup + 1, lookup + 9);
    EXPECT_EQ("SELECT MAX(LogID) as LogID FROM VY_FileOptLog", load[0]);
    EXPECT_EQ("BEGIN TRANSACTION", load[1]);
    EXPECT_EQ("BULK INSERT VY_FileOptLog FROM '" + LoadPath("FileLogFile_1.csv") +
                  "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = 10 )",
              load[2]);
    EXPECT_EQ("SELECT MAX(LogID) as LogID FROM VY_FileOptLog", load[3]);
    std::smatch record, prune;
    ASSERT_TRUE(std::regex_match(
        load[4], record,
        std::regex("INSERT INTO VY_LoadLedger \\(FileName, FileSize, ContentHash, TableName, "
                   "LoadedRows, MaxLogID, LoadedAt\\) VALUES \\('FileLogFile_1\\.csv', " +
                   size + ", '" + hash +
                   "', 'VY_FileOptLog', 10, (10|20), "
                   "'(\\d{4}-\\d\\d-\\d\\d)T\\d\\d:\\d\\d:\\d\\d'\\)")))
        << load[4];
    ASSERT_TRUE(std::regex_match(
        load[5], prune,
        std::regex("DELETE FROM VY_LoadLedger WHERE LoadedAt < '(\\d{4}-\\d\\d-\\d\\d)T[\\d:]+' "
                   "AND LedgerID < \\(SELECT MIN\\(LedgerID \\+ 0\\) FROM VY_LoadLedger WHERE "
                   "LoadedAt < '[^']+'\\) \\+ 100")))
        << load[5];
    EXPECT_EQ(std::chrono::days{90}, Day(record[2]) - Day(prune[1]));
    EXPECT_EQ("COMMIT TRANSACTION", load[6]);
    EXPECT_EQ(2u, Count(texts, "COMMIT TRANSACTION"));

    EXPECT_EQ(20, Rows(kFileLog));
    // Both files have the same content: each name has its record.
    EXPECT_EQ(1, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE ContentHash = '" + hash +
                       "' AND FileSize = " + size + " AND FileName = 'FileLogFile_1.csv'"));
    EXPECT_EQ(2, Query("SELECT COUNT(*) as n FROM VY_LoadLedger"));
    EXPECT_TRUE(Exists(Backup() + "FileLogFile_1.csv"));
}

// A product database without the table: the statements of every run before
// the ledger, and one warning for the whole run.
TEST_F(Ledger, ServerWithoutTheTableGetsThePlainStatementAndOneWarning) {
    Script().FailStatement("FROM VY_LoadLedger WHERE 1 = 0", Ado::kDbErrorsInCommand,
                           "Invalid object name 'VY_LoadLedger'.");
    std::string path = PutLog(kFileLog, "FileLogFile_1.csv", 10);
    PutLog(kFileLog, "FileLogFile_2.csv", 10);
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, Run(In()));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(
        "ferrowin: the database has no table VY_LoadLedger: loads are not protected against a "
        "second load of the same file (Database/VeyrithLoadLedger.sql creates it)\n",
        errors);

    std::vector<std::string> texts = Statements();
    EXPECT_EQ(1u, Count(texts, "VY_LoadLedger"));
    EXPECT_EQ(0u, Count(texts, "TRANSACTION"));
    auto load = std::find(texts.begin(), texts.end(),
                          "BULK INSERT VY_FileOptLog FROM '" + LoadPath("FileLogFile_1.csv") +
                              "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = "
                              "'\\n',MAXERRORS = 10 )");
    ASSERT_NE(texts.end(), load);
    EXPECT_EQ("SELECT MAX(LogID) as LogID FROM VY_FileOptLog", *(load - 1));
    EXPECT_EQ("SELECT MAX(LogID) as LogID FROM VY_FileOptLog", *(load + 1));
    EXPECT_EQ(20, Rows(kFileLog));
    EXPECT_TRUE(Exists(Backup() + "FileLogFile_1.csv"));
    EXPECT_TRUE(Exists(Backup() + "FileLogFile_2.csv"));
    EXPECT_TRUE(Events().empty());
}

// A failure at any step before the commit takes the rows away with the
// record: the file stays, and the next run loads it once.
TEST_F(Ledger, FailureInsideTheTransactionLeavesTheFileForOneLaterLoad) {
    const struct {
        const char* statement;
        Ado::HRESULT hr;
        std::vector<std::string> events;
    } cases[] = {
        {"WHERE FileName = ", Ado::kDbErrorsInCommand, {kBookkeepingFailed}},
        {"WHERE FileName = ", Ado::kEFail, {}},
        {"BEGIN TRANSACTION", Ado::kDbErrorsInCommand, {kBookkeepingFailed}},
        {"BEGIN TRANSACTION", Ado::kEFail, {}},
        {"BULK INSERT", Ado::kEFail, {}},
        {"INSERT INTO VY_LoadLedger", Ado::kDbErrorsInCommand, {kBookkeepingFailed}},
        {"INSERT INTO VY_LoadLedger", Ado::kEFail, {}},
        {"DELETE FROM VY_LoadLedger", Ado::kDbErrorsInCommand, {kBookkeepingFailed}},
        {"COMMIT TRANSACTION", Ado::kDbErrorsInCommand, {kBookkeepingFailed}},
        {"COMMIT TRANSACTION", Ado::kEFail, {}},
    };
    std::int64_t rows = 0;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.statement) + (c.hr == Ado::kEFail ? " E_FAIL" : " error"));
        std::string name = "FileLogFile_" + std::to_string(++n) + ".csv";
        PutLog(kFileLog, name, 10);
        std::filesystem::remove(m_root / "events.log");
        Script().Reset();
        Script().FailStatement(c.statement, c.hr, "[42000] scripted failure");
        ASSERT_EQ(1, Run(In()));
        EXPECT_EQ(c.events, EventIds());
        EXPECT_TRUE(Exists(In() + name));
        EXPECT_EQ(rows, Rows(kFileLog)) << "rows committed without their record";

        Script().Reset();
        ASSERT_EQ(1, Run(In()));
        rows += 10;
        EXPECT_EQ(rows, Rows(kFileLog));
        EXPECT_TRUE(Exists(Backup() + name));
        EXPECT_EQ(c.events, EventIds()) << "events of the second run";
    }
}

// Each load removes at most 100 records older than 90 days, the oldest first,
// and leaves younger ones.
TEST_F(Ledger, EachLoadPrunesABoundedNumberOfOldRecords) {
    ASSERT_EQ(1, Run(In()));  // creates the database
    auto day = [](int daysBack) {
        auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
        std::chrono::year_month_day d{now - std::chrono::days{daysBack}};
        char text[40];
        std::snprintf(text, sizeof text, "'%04d-%02u-%02uT00:00:00'", static_cast<int>(d.year()),
                      static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
        return std::string(text);
    };
    {
        CADODatabase db;
        ASSERT_TRUE(db.Open("Provider=Embedded;Data Source=" + Database()));
        ASSERT_TRUE(db.Execute("BEGIN TRANSACTION"));
        for (int i = 0; i < 250; ++i) {
            // 150 records of 200 to 101 days ago, then 100 of 80 days ago.
            std::string at = i < 150 ? day(200 - i * 99 / 149) : day(80);
            ASSERT_TRUE(
                db.Execute("INSERT INTO VY_LoadLedger (FileName, FileSize, ContentHash, TableName, "
                           "LoadedRows, MaxLogID, LoadedAt) VALUES ('Old_" +
                           std::to_string(i) + ".csv', 1, 'x', 'VY_FileOptLog', 1, 1, " + at + ")"))
                << db.GetLastErrorText();
        }
        ASSERT_TRUE(db.Execute("COMMIT TRANSACTION"));
    }
    PutLog(kFileLog, "FileLogFile_1.csv", 10);
    ASSERT_EQ(1, Run(In()));
    EXPECT_EQ(50, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE LoadedAt < " + day(90)));
    EXPECT_EQ(0, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE FileName IN ('Old_0.csv', "
                       "'Old_99.csv')"));
    EXPECT_EQ(1, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE FileName = 'Old_100.csv'"));
    EXPECT_EQ(100, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE LoadedAt = " + day(80)));

    PutLog(kFileLog, "FileLogFile_2.csv", 11);
    ASSERT_EQ(1, Run(In()));
    EXPECT_EQ(0, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE LoadedAt < " + day(90)));
    EXPECT_EQ(102, Query("SELECT COUNT(*) as n FROM VY_LoadLedger"));
}

// ---- the real program, killed on purpose

class LedgerProgram : public ProgramFixture {
protected:
    // Another file system for the backup folder, when there is one.
    std::string OtherFileSystem() {
        if (!m_shm && std::filesystem::is_directory("/dev/shm"))
            m_shm = std::make_unique<CTempDir>("/dev/shm");
        return m_shm && !m_shm->Path().empty() ? *m_shm / "backup/" : Backup();
    }
    std::unique_ptr<CTempDir> m_shm;
};

// Killed after the load committed and before the file left the input folder
// (its move into the backup folder, on this or another file system, or its
// delete): the rerun loads nothing twice and finishes the relocation.
TEST_F(LedgerProgram, KilledBetweenTheCommitAndTheMoveLoadsOnce) {
    const struct {
        const char* name;
        bool backup;
        bool otherFileSystem;
        std::string killAt;  // filled in with the folder below
    } cases[] = {
        {"before the move into the backup folder", true, false, "rename:/backup/FileLogFile_:1"},
        {"before the move across file systems starts", true, true, "rename:/backup/FileLogFile_:1"},
        {"before the copy across file systems takes its name", true, true, "rename:.csv.mv:1"},
        {"before the source of the copy is removed", true, true, "unlink:/.ferrowin-claim/:1"},
        {"before the delete", false, false, "unlink:/.ferrowin-claim/:1"},
    };
    std::int64_t rows = 0;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string backup = c.otherFileSystem ? OtherFileSystem() : Backup();
        std::filesystem::create_directories(backup);
        SetFolders(c.backup ? backup : "", Errors());
        std::string name = "FileLogFile_" + std::to_string(++n) + ".csv";
        PutLog(kFileLog, name, 10);

        SetKillPoints(KILLPOINT_LIBRARY, c.killAt);
        ProgramResult killed = RunProgram(In());
        ASSERT_EQ(-1, killed.code) << "not killed: " << killed.errors;
        rows += 10;
        EXPECT_EQ(rows, Rows(kFileLog)) << "the load had not committed";

        SetKillPoints("", "");
        ProgramResult rerun = RunProgram(In());
        ASSERT_EQ(1, rerun.code) << rerun.errors;
        EXPECT_EQ(rows, Rows(kFileLog)) << "loaded twice";
        EXPECT_FALSE(Exists(In() + name));
        EXPECT_EQ(c.backup, Exists(backup + name));
        EXPECT_TRUE(Events().empty()) << Events().front().text;
    }
}

// The ledger knows a file by its content: a new content under a name already
// loaded is a new file, and the same content delivered again is not loaded
// again (it is relocated as imported).
TEST_F(LedgerProgram, ChangedContentUnderTheSameNameIsANewFile) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    const struct {
        std::uint32_t seed;
        int rows;
        std::int64_t rowsAfter;
    } deliveries[] = {{1, 10, 10}, {2, 7, 17}, {1, 10, 17}};
    for (const auto& d : deliveries) {
        SCOPED_TRACE(d.seed);
        Sample::CLogGenerator generator(d.seed);
        ASSERT_TRUE(generator.WriteFile(In() + "FileLogFile_1.csv", kFileLog,
                                        static_cast<std::uint64_t>(d.rows)));
        std::string content = ReadFile(In() + "FileLogFile_1.csv");
        ProgramResult run = RunProgram(In());
        ASSERT_EQ(1, run.code) << run.errors;
        EXPECT_EQ(d.rowsAfter, Rows(kFileLog));
        EXPECT_EQ(content, ReadFile(Backup() + "FileLogFile_1.csv"));
        EXPECT_FALSE(Exists(In() + "FileLogFile_1.csv"));
    }
    EXPECT_EQ(2, Query("SELECT COUNT(*) as n FROM VY_LoadLedger WHERE FileName = "
                       "'FileLogFile_1.csv'"));
    EXPECT_TRUE(Events().empty());
}

}  // namespace
