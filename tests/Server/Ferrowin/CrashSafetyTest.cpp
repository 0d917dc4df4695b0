// The real program killed with SIGKILL at random moments, again and again,
// over files of every kind, with the backup folder on another file system so
// that every move is a copy: after each batch has been run to its end, every
// row is in its table or its file still waits, no file is lost, cut short or
// half rewritten, no file is loaded twice, and the database is intact. Every
// third start is killed on purpose at a move into the backup folder or a
// removal from the input folder (every fourth batch deletes imported files),
// the steps right after a committed load.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <set>

#include "Platform/Fake/FakePlatform.h"
#include "Server/Ferrowin/LogCollect.h"
#include "tests/Server/Ferrowin/ProgramFixture.h"

namespace {

constexpr LogKind kInstallSoftware = 14, kPrintLog = 3;

struct PlacedFile {
    std::string name;
    LogKind kind;
    bool good;              // loads; a bad one goes to the error folder
    std::string original;   // as delivered
    std::string rewritten;  // after the install-software rewrite
};

// Rows per file of each kind: one count per kind, so that the rows of a
// table are a whole number of files.
int RowsOf(LogKind kind) {
    return kind == kInstallSoftware ? 20000 : 150 + 7 * kind;
}

// Every other line's install date (the eleventh field) made invalid, so
// that the program rewrites the file before its load.
std::string WithInvalidInstallDates(const std::string& content) {
    std::string out;
    int line = 0, field = 0;
    bool skipping = false;
    for (char c : content) {
        if (c == '\n') {
            ++line;
            field = 0;
            skipping = false;
        } else if (c == '\xFE') {
            ++field;
            skipping = false;
            if (field == 10 && line % 2 == 0) {
                out += c;
                out += "2007/02/29";
                skipping = true;
                continue;
            }
        } else if (skipping) {
            continue;
        }
        out += c;
    }
    return out;
}

// The rewrite that the program does, on the fake platform.
std::string Rewritten(const std::string& name, const std::string& content) {
    Platform::CFakePlatform fake;
    std::string path = "/in/" + name;
    fake.PutFile(path, content);
    CEventBinding events(fake.Get());
    CLogCollect collect(fake.Get(), events);
    collect.PrepareInstallSoftwareLog(path.c_str());
    return fake.FileContent(path);
}

class CrashSafety : public ProgramFixture {
protected:
    // Another file system for the backup folder, when there is one.
    std::string BackupFolder() {
        if (!m_shm && std::filesystem::is_directory("/dev/shm"))
            m_shm = std::make_unique<CTempDir>("/dev/shm");
        return m_shm && !m_shm->Path().empty() ? *m_shm / "backup/" : Backup();
    }

    // A batch: two files of every kind, install-software files with bad
    // dates (so that they are rewritten) and two bad files.
    std::vector<PlacedFile> PutBatch(int batch) {
        std::vector<PlacedFile> files;
        for (const LogKindDef& kind : kLogKinds) {
            for (int i = 0; i < 2; ++i) {
                std::string name = std::string(kind.prefix) + "_B" + std::to_string(batch) + "_" +
                                   std::to_string(i) + ".csv";
                Sample::CLogGenerator generator(static_cast<std::uint32_t>(batch * 100 + i));
                bool install = kind.index == kInstallSoftware;
                EXPECT_TRUE(generator.WriteFile(In() + name, kind.index,
                                                static_cast<std::uint64_t>(RowsOf(kind.index))));
                std::string content = ReadFile(In() + name);
                if (install) {
                    content = WithInvalidInstallDates(content);
                    WriteFile(In() + name, content);
                }
                files.push_back({name, kind.index, true, content,
                                 install ? Rewritten(name, content) : content});
            }
        }
        std::string empty = "PrintLogFile_B" + std::to_string(batch) + "_empty.csv";
        WriteFile(In() + empty, "");
        files.push_back({empty, kPrintLog, false, "", ""});
        std::string bad = "PrintLogFile_B" + std::to_string(batch) + "_bad.csv";
        Sample::CLogGenerator generator(static_cast<std::uint32_t>(batch));
        EXPECT_TRUE(generator.WriteFile(In() + bad, kPrintLog, 30, Sample::Fault::BadDate, 1));
        std::string content = ReadFile(In() + bad);
        files.push_back({bad, kPrintLog, false, content, content});
        return files;
    }

    bool InputHasLogs() {
        for (const auto& entry : std::filesystem::directory_iterator(In()))
            if (entry.path().extension() == ".csv")
                return true;
        return false;
    }

    std::unique_ptr<CTempDir> m_shm;
};

TEST_F(CrashSafety, KilledAtRandomNothingIsLostOrHalfWritten) {
    const int wantedKills =
        std::getenv("FERROWIN_CRASH_KILLS") ? std::atoi(std::getenv("FERROWIN_CRASH_KILLS")) : 200;
    const std::string backup = BackupFolder();
    std::filesystem::create_directories(backup);
    std::filesystem::create_directories(Errors());
    SetFolders(backup, Errors());
    std::mt19937 random(20240611);

    int kills = 0, pointKills = 0, deleteKills = 0, claimKills = 0, finishedFirst = 0,
        duplicates = 0, starts = 0;
    std::set<std::string> rewriteLeftovers, moveLeftovers;  // temporaries seen after a kill
    std::map<LogKind, std::int64_t> expectedRows;
    std::size_t fileCount = 0;
    int batch = 0;
    // The debug build takes about 150 ms to start and load its first file
    // and well under a second for a batch: a kill 100 to 500 ms after the
    // start lands in a load, the rewrite or a move, or after a short run's
    // end (not counted as a kill).
    const int spanMs = 500;
    while (kills < wantedKills) {
        // Every fourth batch has no backup folder: imported files are deleted.
        bool deleting = batch % 4 == 3;
        SetFolders(deleting ? "" : backup, Errors());
        std::vector<PlacedFile> files = PutBatch(batch++);
        int killsThisBatch = 0;
        while (InputHasLogs() && killsThisBatch < 40) {
            // The n-th move into the backup folder (its first attempt, which
            // fails across file systems), copy across file systems taking its
            // name, removal from the claim folder (the copied source, the
            // deleted file, or a rewrite's temporary file), or rename into or
            // out of the claim folder (the claim itself, or the move after
            // the commit).
            bool onPurpose = ++starts % 3 == 0;
            int nth = std::uniform_int_distribution<int>(1, 12)(random);
            const std::string points[] = {"rename:" + backup, "rename:.csv.mv",
                                          "unlink:/.ferrowin-claim/", "rename:/.ferrowin-claim/"};
            SetKillPoints(KILLPOINT_LIBRARY,
                          onPurpose ? points[nth % 4] + ":" + std::to_string(nth) : "");
            pid_t pid = Start(In());
            if (!onPurpose) {
                std::this_thread::sleep_for(std::chrono::milliseconds(
                    std::uniform_int_distribution<int>(100, spanMs)(random)));
                kill(pid, SIGKILL);
            }
            int status = 0;
            waitpid(pid, &status, 0);
            if (WIFSIGNALED(status)) {
                ++kills;
                pointKills += onPurpose;
                deleteKills += onPurpose && deleting && nth % 4 == 2;
                claimKills += onPurpose && nth % 4 == 3;
                ++killsThisBatch;
            } else if (WIFEXITED(status) && WEXITSTATUS(status) == 1) {
                ++finishedFirst;
                // A run that ended by itself leaves no log file behind.
                for (const auto& entry : std::filesystem::directory_iterator(In()))
                    ADD_FAILURE() << "left after a whole run: " << entry.path();
            }  // else exit 0: another test's program held the instance lock
            for (const std::string& folder : {In(), backup}) {
                for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                    std::string name = entry.path().filename().string();
                    if (name.find(".COPY") != std::string::npos)
                        rewriteLeftovers.insert(name);
                    if (name.find(".csv.mv") != std::string::npos)
                        moveLeftovers.insert(name);
                }
            }
        }
        SetKillPoints("", "");
        ProgramResult last = RunProgram(In());
        ASSERT_EQ(1, last.code) << last.errors;
        // The rerun removed every temporary file a killed run left, and took
        // up every file a killed run had claimed.
        for (const std::string& folder : {In(), backup, Errors()}) {
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                std::string name = entry.path().filename().string();
                EXPECT_EQ(std::string::npos, name.find(".COPY")) << "left: " << entry.path();
                EXPECT_EQ(std::string::npos, name.find(".csv.mv")) << "left: " << entry.path();
            }
        }
        if (std::filesystem::exists(m_root / ".ferrowin-claim")) {
            for (const auto& entry :
                 std::filesystem::recursive_directory_iterator(m_root / ".ferrowin-claim")) {
                EXPECT_TRUE(entry.is_directory()) << "still claimed: " << entry.path();
            }
        }

        // Every file in exactly one place, whole: a good one in the backup
        // folder, a bad one in the error folder; an install-software file
        // as delivered or wholly rewritten, never between.
        for (const PlacedFile& f : files) {
            SCOPED_TRACE(f.name);
            if (f.good && deleting) {
                for (const std::string& folder : {In(), backup, Errors()}) {
                    EXPECT_FALSE(Exists(folder + f.name)) << "left in " << folder;
                }
                expectedRows[f.kind] += RowsOf(f.kind);
                continue;
            }
            std::string where = f.good ? backup : Errors();
            ASSERT_TRUE(Exists(where + f.name))
                << "input: " << Exists(In() + f.name) << ", backup: " << Exists(backup + f.name)
                << ", errors: " << Exists(Errors() + f.name) << "; " << Events().size()
                << " events, the last: " << (Events().empty() ? "" : Events().back().text);
            for (const std::string& other : {In(), backup, Errors()}) {
                if (other != where) {
                    EXPECT_FALSE(Exists(other + f.name)) << "also in " << other;
                }
            }
            std::string content = ReadFile(where + f.name);
            EXPECT_TRUE(content == f.rewritten || content == f.original)
                << "size " << content.size() << " of " << f.rewritten.size();
            if (f.good)
                expectedRows[f.kind] += RowsOf(f.kind);
        }
        fileCount += files.size();

        // Rows: whole files only. Any surplus is files loaded twice.
        for (const LogKindDef& kind : kLogKinds) {
            std::int64_t surplus = Rows(kind.index) - expectedRows[kind.index];
            ASSERT_GE(surplus, 0) << kind.prefix << ": rows lost";
            ASSERT_EQ(0, surplus % RowsOf(kind.index)) << kind.prefix << ": part of a file";
            EXPECT_EQ(0, surplus) << kind.prefix << ": files loaded twice";
            int twice = static_cast<int>(surplus / RowsOf(kind.index));
            duplicates += twice;
            expectedRows[kind.index] += surplus;
        }
    }
    EXPECT_EQ(0, duplicates);
    EXPECT_GT(pointKills, 0) << "no kill point was reached";
    EXPECT_GT(claimKills, 0) << "no kill at a rename into or out of the claim folder";
    // A run killed while it held the data-running claim leaves 1 behind; a
    // later run that finds files claims and releases it again. Only values
    // of 2 and more, which the importer never writes, keep asset files back.
    std::int64_t dataRunning = Query("SELECT DataRunning as n FROM VY_AsDataRunning");
    EXPECT_TRUE(dataRunning == 0 || dataRunning == 1) << dataRunning;

    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(check));
    EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    sqlite3_close(db);

    std::cout << "kills: " << kills << " (" << pointKills << " at a kill point, " << deleteKills
              << " of them at a removal from the claim folder in a batch that deletes, "
              << claimKills << " at a rename into or out of the claim folder) over " << batch
              << " batches of " << fileCount / static_cast<std::size_t>(batch) << " files ("
              << finishedFirst << " runs ended before their kill)\n"
              << "files loaded twice: " << duplicates << "\n"
              << "kills inside a rewrite (a .COPY left): " << rewriteLeftovers.size()
              << "; inside a move across file systems (a .mv copy left): " << moveLeftovers.size()
              << "\n"
              << "DataRunning at the end: " << dataRunning << "\n";
}

}  // namespace
