// The real program on files that other machines deliver: names that try to
// break the statement or the event, files that are empty, huge, random or
// not files at all, and an input folder that goes away during the run. Every
// one ends with a clear event (or, for what is not a log file, untouched) and
// no row or file is lost.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <random>

#include "tests/Server/Ferrowin/ProgramFixture.h"

namespace {

constexpr LogKind kFileLog = 0;
const char kImportFailed[] = "10109";
const char kNotice[] = "2147494870";  // the import-failure notice

enum class Where { Backup, Errors, Input };

struct HostileCase {
    const char* name;
    // Puts the file in the input folder (or elsewhere); returns its name.
    std::function<std::string(ProgramFixture&, const std::string& in)> arrange;
    Where where;
    int rows;  // rows of the file that reach VY_FileOptLog
    std::vector<std::string> events;
    const char* eventMentions;  // a text that the 010109 event carries, or ""
};

// A valid file-operation log of `rows` rows under `name`.
std::string Log(const std::string& in, const std::string& name, int rows) {
    Sample::CLogGenerator generator(7);
    EXPECT_TRUE(generator.WriteFile(in + name, kFileLog, static_cast<std::uint64_t>(rows)));
    return name;
}

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(12345);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

const HostileCase kCases[] = {
    {"apostrophe",
     [](auto&, auto& in) { return Log(in, "FileLogFile_it's.csv", 3); },
     Where::Backup,
     3,
     {},
     ""},
    {"statement words",
     [](auto&, auto& in) { return Log(in, "FileLogFile_x'; DROP TABLE VY_FileOptLog; --.csv", 3); },
     Where::Backup,
     3,
     {},
     ""},
    {"spaces",
     [](auto&, auto& in) { return Log(in, "FileLogFile_ a  b .csv", 3); },
     Where::Backup,
     3,
     {},
     ""},
    {"newline",
     [](auto&, auto& in) { return Log(in, "FileLogFile_a\nb.csv", 3); },
     Where::Backup,
     3,
     {},
     ""},
    {"Shift-JIS bytes",
     [](auto&, auto& in) { return Log(in, "FileLogFile_\x83\x65\x83\x58\x83\x67.csv", 3); },
     Where::Backup,
     3,
     {},
     ""},
    {"read-only",
     [](auto&, auto& in) {
         std::string name = Log(in, "FileLogFile_ro.csv", 3);
         chmod((in + name).c_str(), 0444);
         return name;
     },
     Where::Backup,
     3,
     {},
     ""},
    {"empty",
     [](auto&, auto& in) {
         WriteFile(in + "FileLogFile_empty.csv", "");
         return std::string("FileLogFile_empty.csv");
     },
     Where::Errors,
     0,
     {kImportFailed, kNotice},
     "FileLogFile_empty.csv"},
    {"empty, with a hostile name",
     [](auto&, auto& in) {
         std::string name = "FileLogFile_'\n;--\t%s%d\x83\x65.csv";
         WriteFile(in + name, "");
         return name;
     },
     Where::Errors,
     0,
     {kImportFailed, kNotice},
     "FileLogFile_'\\n;--\\t%s%d\x83\x65.csv"},
    // The base name is cut at the last backslash on every platform, so this
    // name is of no kind: it stays, as every file of no kind does.
    {"backslash",
     [](auto&, auto& in) { return Log(in, "FileLogFile_a\\b.csv", 3); },
     Where::Input,
     0,
     {},
     ""},
    {"random bytes",
     [](auto&, auto& in) {
         WriteFile(in + "FileLogFile_random.csv", RandomBytes(256 * 1024));
         return std::string("FileLogFile_random.csv");
     },
     Where::Errors,
     0,
     {kImportFailed, kNotice},
     "FileLogFile_random.csv"},
    {"a line of 10 MB",
     [](auto&, auto& in) {
         WriteFile(in + "FileLogFile_long.csv", std::string(10 << 20, 'x') + "\r\n");
         return std::string("FileLogFile_long.csv");
     },
     Where::Errors,
     0,
     {kImportFailed, kNotice},
     "FileLogFile_long.csv"},
    // A link that points outside the input folder is never loaded, and the
    // link (not the file it names) goes to the error folder.
    {"symbolic link to a file outside",
     [](ProgramFixture& f, auto& in) {
         std::string outside = Log(in + "../", "outside.csv", 4);
         std::filesystem::create_symlink(in + "../" + outside, in + "FileLogFile_link.csv");
         (void)f;
         return std::string("FileLogFile_link.csv");
     },
     Where::Errors,
     0,
     {kImportFailed, kNotice},
     "a symbolic link"},
    // A folder is no file: it stays, and nothing is said of it.
    {"folder named like a log",
     [](auto&, auto& in) {
         std::filesystem::create_directory(in + "FileLogFile_folder.csv");
         Log(in + "FileLogFile_folder.csv/", "FileLogFile_inner.csv", 2);
         return std::string("FileLogFile_folder.csv");
     },
     Where::Input,
     0,
     {},
     ""},
};

class HostileInput : public ProgramFixture, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileInput, EndsWithAClearEventAndLosesNothing) {
    const HostileCase& c = GetParam();
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    std::string name = c.arrange(*this, In());
    // A good neighbour, loaded whatever happens to the hostile file.
    Sample::CLogGenerator generator(3);
    ASSERT_TRUE(generator.WriteFile(In() + "FileLogFile_good.csv", kFileLog, 2));

    ProgramResult result = RunProgram(In());
    EXPECT_EQ(1, result.code) << result.errors;

    EXPECT_EQ(c.rows + 2, Rows(kFileLog));
    EXPECT_TRUE(Exists(Backup() + "FileLogFile_good.csv"));
    std::string at = c.where == Where::Backup   ? Backup()
                     : c.where == Where::Errors ? Errors()
                                                : In();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(at + name)))
        << "not in " << at;
    for (const std::string& folder : {Backup(), Errors(), In()}) {
        if (folder != at) {
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder + name)))
                << "also in " << folder;
        }
    }

    EXPECT_EQ(c.events, EventIds());
    for (const LoggedEvent& e : Events()) {
        EXPECT_EQ("VeyrithDBMSG", e.source);
        if (e.id == kImportFailed) {
            EXPECT_NE(std::string::npos, e.text.find(c.eventMentions)) << e.text;
        }
    }
    if (c.where == Where::Backup) {
        struct stat st;
        ASSERT_EQ(0, stat((Backup() + name).c_str(), &st));
        EXPECT_TRUE(st.st_mode & S_IWUSR) << "still read-only";
    }
}

// The link case in full: the file outside is neither read nor moved.
TEST_F(ProgramFixture, ALinkLeavesTheFileItPointsAtAlone) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    std::string outside = m_root / "secret.csv";
    Sample::CLogGenerator generator(3);
    ASSERT_TRUE(generator.WriteFile(outside, kFileLog, 4));
    std::string before = ReadFile(outside);
    std::filesystem::create_symlink(outside, In() + "FileLogFile_secret.csv");

    EXPECT_EQ(1, RunProgram(In()).code);

    EXPECT_EQ(0, Rows(kFileLog));
    EXPECT_EQ(before, ReadFile(outside));
    EXPECT_TRUE(std::filesystem::is_symlink(Errors() + "FileLogFile_secret.csv"));
    EXPECT_EQ(outside, std::filesystem::read_symlink(Errors() + "FileLogFile_secret.csv").string());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileInput, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

}  // namespace

namespace {

// 300,000 rows, about 45 MB: large enough that a loader holding the file,
// or a record, in memory would show, and small enough for CI (the benchmark
// in bench/ loads about 1 GB).
constexpr std::uint64_t kLargeRows = 300000;

// A big file loads whole within the time limit and memory stays bounded by
// the loader, not by the file.
TEST_F(ProgramFixture, ALargeFileLoadsWhole) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    Sample::CLogGenerator generator(5);
    ASSERT_TRUE(generator.WriteFile(In() + "FileLogFile_large.csv", kFileLog, kLargeRows));
    std::uintmax_t size = std::filesystem::file_size(In() + "FileLogFile_large.csv");
    EXPECT_GE(size, 40u << 20);

    EXPECT_EQ(1, RunProgram(In()).code);

    EXPECT_EQ(static_cast<std::int64_t>(kLargeRows), Rows(kFileLog));
    EXPECT_EQ(size, std::filesystem::file_size(Backup() + "FileLogFile_large.csv"));
    EXPECT_TRUE(Events().empty());
}

// The input folder is renamed away while the program works through it:
// every file is in the backup folder with its rows, or in the renamed folder
// with a clear event and without them. At most the file in hand at that
// moment may be both loaded and left (the load committed, the move found
// no file), and it is counted.
TEST_F(ProgramFixture, AnInputFolderThatDisappearsDuringTheRun) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    constexpr int kFiles = 400, kRowsEach = 20;
    Sample::CLogGenerator generator(9);
    for (int i = 0; i < kFiles; ++i)
        ASSERT_TRUE(generator.WriteFile(In() + "FileLogFile_" + std::to_string(i) + ".csv",
                                        kFileLog, kRowsEach));
    std::string moved = m_root / "moved/";

    // Started again while another test's program holds the instance lock
    // (it then ends with 0 before touching anything).
    pid_t pid = Start(In());
    while (std::filesystem::is_empty(Backup())) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pid = Start(In());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::filesystem::rename(In(), moved);
    ProgramResult result = Wait(pid);
    EXPECT_EQ(1, result.code) << result.errors;

    int backedUp = 0, left = 0;
    for (int i = 0; i < kFiles; ++i) {
        std::string name = "FileLogFile_" + std::to_string(i) + ".csv";
        bool inBackup = Exists(Backup() + name), inMoved = Exists(moved + name);
        EXPECT_NE(inBackup, inMoved) << name;
        backedUp += inBackup;
        left += inMoved;
    }
    ASSERT_GT(left, 0) << "the run ended before the folder went away";
    std::int64_t loadedButLeft = Rows(kFileLog) / kRowsEach - backedUp;
    EXPECT_EQ(0, Rows(kFileLog) % kRowsEach);
    EXPECT_TRUE(loadedButLeft == 0 || loadedButLeft == 1) << loadedButLeft;
    std::cout << "folder gone after " << backedUp << " files; " << left << " left, "
              << loadedButLeft << " of them loaded before the folder went\n";

    // Each file that was gone when its turn came: 050501 when it could not be
    // read for the ledger, or (gone between that read and its load) 010109
    // saying so, with the notice. Neither is loaded.
    std::vector<std::string> ids = EventIds();
    auto count = [&](const char* id) { return std::count(ids.begin(), ids.end(), id); };
    EXPECT_EQ(left - loadedButLeft, count("50501") + count(kImportFailed));
    EXPECT_EQ(count(kImportFailed), count(kNotice));
    EXPECT_LE(count(kImportFailed), 1);
    for (const LoggedEvent& e : Events()) {
        if (e.id == "50501" || e.id == kImportFailed) {
            EXPECT_NE(std::string::npos, e.text.find("FileLogFile_")) << e.text;
        }
    }
}

// ---- trust: what decides code and paths must be ours or root's

struct TrustCase {
    const char* name;
    // Opens one part of the installation to another user.
    std::function<int(const std::string& registry, const std::string& install)> arrange;
    const char* refused;  // what the message names
    bool imports;         // whether the run still imports
};

const TrustCase kTrustCases[] = {
    {"registry file writable by others",
     [](auto& registry, auto&) { return chmod(registry.c_str(), 0666); }, "registry.reg", false},
    {"registry file owned by another user",
     [](auto& registry, auto&) { return chown(registry.c_str(), 65534, 65534); }, "registry.reg",
     false},
    {"library writable by its group",
     [](auto&, auto& install) { return chmod((install + "libpellinor.so").c_str(), 0775); },
     "libpellinor.so", true},
    {"library owned by another user",
     [](auto&, auto& install) { return chown((install + "libpellinor.so").c_str(), 65534, 65534); },
     "libpellinor.so", true},
    // The settings below it decide where files go: nothing is imported.
    {"install folder writable by others",
     [](auto&, auto& install) { return chmod(install.c_str(), 0777); }, "install", false},
};

class UntrustedInstallation : public ProgramFixture,
                              public ::testing::WithParamInterface<TrustCase> {};

TEST_P(UntrustedInstallation, IsRefusedWithAMessage) {
    const TrustCase& c = GetParam();
    if (geteuid() != 0)
        GTEST_SKIP() << "chown needs root";
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    std::string registry = m_root / "registry.reg";
    chmod(m_root.Path().c_str(), 0755);
    chmod(registry.c_str(), 0644);
    chmod((Install() + "libpellinor.so").c_str(), 0755);
    ASSERT_EQ(0, c.arrange(registry, Install()));
    // An empty file: its import fails, which would be an event.
    WriteFile(In() + "FileLogFile_empty.csv", "");

    ProgramResult result = RunProgram(In());
    EXPECT_EQ(1, result.code);
    EXPECT_NE(std::string::npos, result.errors.find(c.refused)) << result.errors;
    EXPECT_NE(std::string::npos, result.errors.find("other users")) << result.errors;
    // No event reaches the file: the library is never loaded.
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(c.imports, Exists(Errors() + "FileLogFile_empty.csv"));
    EXPECT_EQ(!c.imports, Exists(In() + "FileLogFile_empty.csv"));
    EXPECT_EQ(c.imports, Exists(Database()));
}

// The same installation, trusted: the event is there and nothing is said.
TEST_F(ProgramFixture, ATrustedInstallationRunsQuietly) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Errors());
    chmod(m_root.Path().c_str(), 0755);
    WriteFile(In() + "FileLogFile_empty.csv", "");
    ProgramResult result = RunProgram(In());
    EXPECT_EQ(1, result.code);
    EXPECT_EQ("", result.errors);
    EXPECT_EQ((std::vector<std::string>{kImportFailed, kNotice}), EventIds());
}

INSTANTIATE_TEST_SUITE_P(Cases, UntrustedInstallation, ::testing::ValuesIn(kTrustCases),
                         [](const ::testing::TestParamInfo<TrustCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

}  // namespace
