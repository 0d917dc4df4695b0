// The real program as root over an input folder that an unprivileged sender
// owns: the sender's known attacks, each raced in a loop while the program
// works, must neither give it root nor show it a root-only file nor steer a
// move. Also: no file that the program makes has a mode bit outside 0600, a
// file still being written waits until its writer is done, and a rewrite
// that cannot be done leaves the file for a later run.
#include <dirent.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <random>

#include "Server/Ferrowin/LogCollectClaim.h"
#include "tests/Server/Ferrowin/ProgramFixture.h"

namespace {

constexpr LogKind kFileLog = 0, kInstallSoftware = 14;
constexpr int kTries = 200;  // files per attack, each raced by the sender
constexpr int kRounds = 3;   // runs of kTries files, for the races that need luck
constexpr char kSender[] = "ferrowin-sender";

// The unprivileged user that plays the sender, made once for these tests.
bool SenderIds(uid_t* uid, gid_t* gid) {
    if (!getpwnam(kSender))
        std::system((std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") +
                     kSender + " >/dev/null 2>&1")
                        .c_str());
    passwd* pw = getpwnam(kSender);
    if (!pw)
        return false;
    *uid = pw->pw_uid;
    *gid = pw->pw_gid;
    return true;
}

// Every install date (the eleventh field) made invalid, so that the program
// rewrites the file before its load.
std::string WithInvalidDates(const std::string& content) {
    std::string out;
    int field = 0;
    bool skipping = false;
    for (char c : content) {
        if (c == '\n') {
            field = 0;
            skipping = false;
        } else if (c == '\xFE') {
            skipping = false;
            if (++field == 10) {
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

// The sender's race against the program's check and use of one file: it
// knows the order in which the program lists the folder, and watches it.
// When the program closes a log file it has read, the sender swaps a file
// with its link "<name>.lnk" as fast as it can, until the program closes
// another file (or 200 ms pass): that file itself (`ahead` 0: its later
// steps are raced), or the one after it (`ahead` 1: its first steps are).
// Runs until killed.
[[noreturn]] void RaceWithLinks(const std::string& in, int ahead) {
    std::vector<std::string> order;
    if (DIR* dir = opendir(in.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".csv") == 0)
                order.push_back(name);
        }
        closedir(dir);
    }
    int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, in.c_str(), IN_CLOSE_NOWRITE);
    alignas(inotify_event) char buffer[64 * 1024];
    // The file to swap after the events that have arrived, or "".
    auto next = [&](std::string target) {
        for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                auto* event = reinterpret_cast<inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                auto it = std::find(order.begin(), order.end(),
                                    std::string(event->len ? event->name : ""));
                if (order.end() - it > ahead)
                    target = *(it + ahead);
            }
        }
        return target;
    };
    for (std::string target;;) {
        pollfd wait{watch, POLLIN, 0};
        poll(&wait, 1, -1);
        target = next("");
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        for (int i = 0; !target.empty() && std::chrono::steady_clock::now() < end; ++i) {
            std::string file = in + target, link = file + ".lnk";
            renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
            if (i % 16 == 0) {
                std::string now = next(target);
                if (now != target) {
                    target = now;
                    end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
                }
            }
        }
    }
}

class Sender : public ProgramFixture {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root, as the program runs in production";
        ASSERT_TRUE(SenderIds(&m_uid, &m_gid)) << "useradd failed";
        ProgramFixture::SetUp();
        // The packaged layout: the sender owns the input folder; the backup
        // and error folders are root's alone.
        chmod(m_root.Path().c_str(), 0755);
        ASSERT_EQ(0, chown(In().c_str(), m_uid, m_gid));
        SetFolders(Backup(), Errors());
        for (const std::string& folder : {Backup(), Errors()}) {
            std::filesystem::create_directories(folder);
            chmod(folder.c_str(), 0700);
        }
    }
    void TearDown() override {
        StopSender();
        ProgramFixture::TearDown();
    }

    // A file of the sender's in the input folder, with `mode` (set after the
    // owner, which clears setuid).
    void PutAsSender(const std::string& name, const std::string& content, mode_t mode) {
        WriteFile(In() + name, content);
        ASSERT_EQ(0, chown((In() + name).c_str(), m_uid, m_gid));
        ASSERT_EQ(0, chmod((In() + name).c_str(), mode));
    }
    std::string Log(LogKind kind, int rows, std::uint32_t seed) {
        Sample::CLogGenerator generator(seed);
        std::string path = m_root / "generated.csv";
        EXPECT_TRUE(generator.WriteFile(path, kind, static_cast<std::uint64_t>(rows)));
        std::string content = ReadFile(path);
        std::filesystem::remove(path);
        return kind == kInstallSoftware ? WithInvalidDates(content) : content;
    }

    // Runs `attack` as the sender, over and over, until StopSender. It
    // reports a success by returning true; the count is read at the end.
    void StartSender(std::function<bool()> attack) {
        ASSERT_EQ(0, pipe(m_report));
        m_pid = fork();
        if (m_pid == 0) {
            close(m_report[0]);
            if (setgroups(0, nullptr) != 0 || setgid(m_gid) != 0 || setuid(m_uid) != 0)
                _exit(2);
            for (;;)
                if (attack() && write(m_report[1], "!", 1) < 0)
                    _exit(3);
        }
        close(m_report[1]);
    }
    // Stops the sender; the number of times it said it won.
    int StopSender() {
        if (m_pid <= 0)
            return 0;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        int wins = 0;
        char buffer[256];
        for (ssize_t n; (n = read(m_report[0], buffer, sizeof buffer)) > 0;) wins += int(n);
        close(m_report[0]);
        return wins;
    }

    // Every regular file below `folder` that root owns (so the program made
    // it), with a mode bit outside 0600.
    std::vector<std::string> RootFilesBeyond0600(const std::string& folder) {
        std::vector<std::string> found;
        std::error_code ignored;
        for (auto& e : std::filesystem::recursive_directory_iterator(folder, ignored)) {
            struct stat st;
            if (lstat(e.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 &&
                (st.st_mode & 07777 & ~0600))
                found.push_back(e.path().string() + " " + std::to_string(st.st_mode & 07777));
        }
        return found;
    }
    // Whether any regular file below `folder` holds `text`.
    bool AnyFileHolds(const std::string& folder, const std::string& text) {
        std::error_code ignored;
        for (auto& e : std::filesystem::recursive_directory_iterator(folder, ignored))
            if (!e.is_symlink() && e.is_regular_file() &&
                ReadFile(e.path().string()).find(text) != std::string::npos)
                return true;
        return false;
    }

    std::string Name(LogKind kind, int i) {
        return std::string(Sample::KindPrefix(kind)) + "_" + std::to_string(i) + ".csv";
    }

    uid_t m_uid = 0;
    gid_t m_gid = 0;
    pid_t m_pid = -1;
    int m_report[2] = {-1, -1};
};

// 1. The install-software rewrite made a root-owned file with the sender's
// setuid mode. The sender watches for any root-owned file with setuid or an
// execute bit that it can reach, and tries to take it out of the listing.
TEST_F(Sender, TheRewriteNeverGivesTheSenderASetuidRootFile) {
    for (int i = 0; i < kTries; ++i)
        PutAsSender(Name(kInstallSoftware, i), Log(kInstallSoftware, 2, i), 04755);
    const std::string in = In();
    StartSender([in] {
        std::error_code ignored;
        bool won = false;
        for (auto& e : std::filesystem::directory_iterator(in, ignored)) {
            struct stat st;
            if (lstat(e.path().c_str(), &st) == 0 && st.st_uid == 0 && (st.st_mode & 06111)) {
                won = true;
                rename(e.path().c_str(), (in + "stolen").c_str());
            }
        }
        return won;
    });
    ProgramResult result = RunProgram(In());
    EXPECT_EQ(0, StopSender()) << "a setuid or executable root file was in reach";
    EXPECT_EQ(1, result.code) << result.errors;
    EXPECT_EQ(2 * kTries, Rows(kInstallSoftware));
    for (const std::string& folder : {In(), Backup(), Errors(), m_root / ".ferrowin-claim"})
        EXPECT_EQ(std::vector<std::string>{}, RootFilesBeyond0600(folder)) << folder;
}

// 2. The read-only clearing followed a link swapped in between its check
// and its chmod. The sender exchanges each file with a link to a root
// program, again and again, while the program works: 600 files in three
// runs (the old code lost this race in about half of the runs of 200).
TEST_F(Sender, TheReadOnlyClearingNeverChangesALinksTarget) {
    std::string program = m_root / "bin/tool";
    std::filesystem::create_directories(m_root / "bin");
    WriteFile(program, "#!/bin/sh\n");
    chmod(program.c_str(), 0755);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        for (int i = round * kTries; i < (round + 1) * kTries; ++i) {
            PutAsSender(Name(kFileLog, i), Log(kFileLog, 2, i), 04555);
            std::string link = In() + Name(kFileLog, i) + ".lnk";
            std::filesystem::create_symlink(program, link);
            ASSERT_EQ(0, lchown(link.c_str(), m_uid, m_gid));
        }
        const std::string in = In();
        StartSender([in]() -> bool { RaceWithLinks(in, 0); });
        ProgramResult result = RunProgram(In());
        StopSender();
        EXPECT_EQ(1, result.code) << result.errors;
        struct stat st;
        ASSERT_EQ(0, stat(program.c_str(), &st));
        EXPECT_EQ(0755u, st.st_mode & 07777) << "the root program's mode changed";
        EXPECT_EQ(0u, st.st_uid);
        EXPECT_EQ("#!/bin/sh\n", ReadFile(program));
    }
}

// 3. The rewrite read through a link swapped in after its check: a
// root-only file ended in the error folder. Here the sender exchanges each
// install-software file with a link to a root-only file that would be
// rewritten and loaded; its text must appear in no file and no table.
TEST_F(Sender, TheRewriteNeverReadsARootOnlyFile) {
    const std::string marker = "ROOTONLYSECRET";
    std::string secretFolder = m_root / "private";
    std::filesystem::create_directories(secretFolder);
    chmod(secretFolder.c_str(), 0700);
    std::string secret = secretFolder + "/shadow.csv";
    std::string line = Log(kInstallSoftware, 1, 99);
    line.replace(0, line.find('\xFE'), marker);
    WriteFile(secret, line);
    chmod(secret.c_str(), 0600);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        for (int i = round * kTries; i < (round + 1) * kTries; ++i) {
            PutAsSender(Name(kInstallSoftware, i), Log(kInstallSoftware, 2, i), 0644);
            std::string link = In() + Name(kInstallSoftware, i) + ".lnk";
            std::filesystem::create_symlink(secret, link);
            ASSERT_EQ(0, lchown(link.c_str(), m_uid, m_gid));
        }
        const std::string in = In();
        StartSender([in]() -> bool { RaceWithLinks(in, 1); });
        ProgramResult result = RunProgram(In());
        StopSender();
        EXPECT_EQ(1, result.code) << result.errors;
        for (const std::string& folder : {In(), Backup(), Errors()})
            EXPECT_FALSE(AnyFileHolds(folder, marker)) << folder;
        EXPECT_EQ(std::string::npos, ReadFile(Database()).find(marker)) << "loaded into the table";
        if (Exists(Database() + "-wal")) {
            EXPECT_EQ(std::string::npos, ReadFile(Database() + "-wal").find(marker));
        }
        EXPECT_EQ(line, ReadFile(secret));
    }
}

// 4, and the modes of everything the program makes: files of any mode,
// setuid, setgid, sticky and execute bits included, moved to a backup folder
// on another file system (a copy), rewritten, or failed. Every file that
// root owns afterwards has no bit outside 0600. The sender keeps putting
// the bits back on its files while the program works.
TEST_F(Sender, NoFileTheProgramMakesCarriesABitOutside0600) {
    std::unique_ptr<CTempDir> shm;
    if (std::filesystem::is_directory("/dev/shm"))
        shm = std::make_unique<CTempDir>("/dev/shm");
    std::string backup = shm && !shm->Path().empty() ? *shm / "backup/" : Backup();
    std::filesystem::create_directories(backup);
    chmod(backup.c_str(), 0700);
    SetFolders(backup, Errors());
    std::mt19937 random(4);
    std::vector<mode_t> modes;
    for (int i = 0; i < kTries; ++i) {
        mode_t mode = (random() & 07777) | 0400;  // readable by its owner, as agents write
        modes.push_back(mode);
        LogKind kind = i % 3 == 0 ? kInstallSoftware : kFileLog;
        PutAsSender(Name(kind, i), i % 7 == 0 ? std::string() : Log(kind, 2, i), mode);
    }
    const std::string in = In();
    StartSender([in, modes] {
        for (int i = 0; i < kTries; ++i) {
            const char* prefix = i % 3 == 0 ? "AsInstallSoftwareLogFile_" : "FileLogFile_";
            chmod((in + prefix + std::to_string(i) + ".csv").c_str(), modes[i] | 06111);
        }
        return false;
    });
    ProgramResult result = RunProgram(In());
    StopSender();
    EXPECT_EQ(1, result.code) << result.errors;
    for (const std::string& folder : {In(), backup, Errors(), m_root / ".ferrowin-claim"})
        EXPECT_EQ(std::vector<std::string>{}, RootFilesBeyond0600(folder)) << folder;
    // Every file went somewhere: the program took no file and lost it.
    int placed = 0;
    for (const std::string& folder : {backup, Errors()})
        placed += static_cast<int>(std::distance(std::filesystem::directory_iterator(folder),
                                                 std::filesystem::directory_iterator()));
    EXPECT_EQ(kTries, placed);
    for (auto& e : std::filesystem::directory_iterator(In())) ADD_FAILURE() << "left: " << e.path();
}

// 5. Settings and folders that the sender controls steered root's moves
// and made folders of its choosing. Each is refused: nothing moves out of
// the input folder, the sender's folder stays empty, no folder is made.
struct SteerSetup {
    uid_t uid;
    gid_t gid;
    std::string install, root;
    std::function<void(const std::string& backup, const std::string& errors)> setFolders;

    // A folder of the sender's, where it wants files to go.
    std::string SenderFolder() const {
        std::string folder = root + "/sender/";
        std::filesystem::create_directories(folder);
        EXPECT_EQ(0, chown(folder.c_str(), uid, gid));
        return folder;
    }
};

struct SteerCase {
    const char* name;
    // Hands part of the installation to the sender; returns the folder that
    // the sender wants files (or a folder) to reach.
    std::function<std::string(const SteerSetup&)> arrange;
    const char* message;  // on standard error, or "" when none
    const char* event;    // the one event of the run, or of each file
    bool eachFile;        // the event comes for each file, not once for the run
};

const SteerCase kSteerCases[] = {
    {"KFSettings.ini owned by the sender",
     [](const SteerSetup& s) {
         std::string to = s.SenderFolder();
         s.setFolders(to, to);
         EXPECT_EQ(0, chown((s.install + "Setting/KFSettings.ini").c_str(), s.uid, s.gid));
         return to;
     },
     "KFSettings.ini", "10119", false},
    {"product settings writable by others",
     [](const SteerSetup& s) {
         std::string to = s.root + "/made/";
         WriteFile(s.install + "Setting/2/product.ini",
                   "[LOG_TYPES]\r\nLOG_TYPE1=FileLogFile\r\n[PRODUCT_INFO]\r\n"
                   "PRODUCT_INSTALLPATH=" +
                       to + "\r\n");
         chmod((s.install + "Setting/2/product.ini").c_str(), 0666);
         return to;
     },
     "product.ini", "10119", false},
    {"settings folder owned by the sender",
     [](const SteerSetup& s) {
         EXPECT_EQ(0, chown((s.install + "Setting").c_str(), s.uid, s.gid));
         return s.SenderFolder();
     },
     "Setting", "10119", false},
    {"backup folder a link to the sender's folder",
     [](const SteerSetup& s) {
         std::string to = s.SenderFolder();
         std::filesystem::create_directory_symlink(to, s.root + "/linked");
         s.setFolders(s.root + "/linked/", s.root + "/linked/");
         return to;
     },
     "", "50605", true},
    {"backup folder below the sender's folder",
     [](const SteerSetup& s) {
         std::string to = s.SenderFolder();
         std::filesystem::create_directory(to + "backup");
         s.setFolders(to + "backup/", to + "backup/");
         return to + "backup/";
     },
     "", "50605", true},
};

class SenderSteers : public Sender, public ::testing::WithParamInterface<SteerCase> {};

TEST_P(SenderSteers, NothingMovesWhereTheSenderWantsIt) {
    const SteerCase& c = GetParam();
    for (int i = 0; i < kTries; ++i) PutAsSender(Name(kFileLog, i), Log(kFileLog, 1, i), 0644);
    SteerSetup setup{m_uid, m_gid, Install(), m_root.Path(),
                     [this](const std::string& b, const std::string& e) { SetFolders(b, e); }};
    std::string target = c.arrange(setup);

    ProgramResult result = RunProgram(In());
    EXPECT_EQ(1, result.code) << result.errors;
    if (*c.message) {
        EXPECT_NE(std::string::npos, result.errors.find(c.message)) << result.errors;
        EXPECT_NE(std::string::npos, result.errors.find("other users")) << result.errors;
    }
    std::vector<std::string> ids = EventIds();
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(c.eachFile ? kTries : 1, std::count(ids.begin(), ids.end(), c.event)) << ids.front();
    EXPECT_EQ(ids.size(), static_cast<size_t>(std::count(ids.begin(), ids.end(), c.event)));
    // Every file still waits in the input folder; none reached the sender's.
    for (int i = 0; i < kTries; ++i) EXPECT_TRUE(Exists(In() + Name(kFileLog, i))) << i;
    // The sender's folder stays empty; the one it named for a folder to be
    // made is not made.
    EXPECT_TRUE(!Exists(target) || std::filesystem::is_empty(target)) << target;
    EXPECT_FALSE(Exists(m_root / "made")) << "a folder was made";
    // Nothing is loaded either: a file whose folder is refused is refused
    // before its load, so that no later run loads it again.
    EXPECT_EQ(0, Exists(Database()) ? Rows(kFileLog) : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, SenderSteers, ::testing::ValuesIn(kSteerCases),
                         [](const ::testing::TestParamInfo<SteerCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// An agent that holds its file open and appends a row every 50 ms: every
// run meanwhile leaves the file alone; once the agent closes it, the next
// run loads it whole, each row once.
TEST_F(ProgramFixture, AFileStillBeingWrittenWaitsForItsWriter) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    constexpr int kRunsWhileWriting = 3;
    Sample::CLogGenerator generator(11);
    const std::string name = "FileLogFile_growing.csv";

    int fd = open((In() + name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ASSERT_LE(0, fd);
    std::atomic<bool> stop{false};
    std::string written;  // read after the join
    std::thread writer([&] {
        for (std::uint64_t row = 0; !stop || row < 10; ++row) {
            std::string record = generator.Record(kFileLog, row) + "\r\n";
            EXPECT_EQ(static_cast<ssize_t>(record.size()), write(fd, record.data(), record.size()));
            written += record;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        close(fd);
    });
    for (int run = 0; run < kRunsWhileWriting; ++run) {
        ProgramResult result = RunProgram(In());
        EXPECT_EQ(1, result.code) << result.errors;
        EXPECT_TRUE(Exists(In() + name));
        EXPECT_EQ(0, Rows(kFileLog));
    }
    stop = true;
    writer.join();

    EXPECT_EQ(1, RunProgram(In()).code);
    std::int64_t rows = static_cast<std::int64_t>(std::count(written.begin(), written.end(), '\n'));
    EXPECT_GE(rows, 10);
    EXPECT_EQ(rows, Rows(kFileLog));
    EXPECT_EQ(written, ReadFile(Backup() + name));
    EXPECT_TRUE(Events().empty());
}

// A rewrite that cannot be done leaves a file with rows for a later run,
// with 050501 and the system's text, instead of loading it unrewritten; an
// empty file keeps its way to the error folder. Here the input folder's file
// system has no room for the rewritten copy.
TEST_F(ProgramFixture, AFailedRewriteLeavesTheFileForALaterRun) {
    struct CSmallMount {
        std::string path;
        ~CSmallMount() {
            if (!path.empty())
                umount2(path.c_str(), MNT_DETACH);
        }
    } small{m_root / "small"};
    std::filesystem::create_directories(small.path);
    if (mount("tmpfs", small.path.c_str(), "tmpfs", 0, "size=2m,mode=0755") != 0) {
        small.path.clear();
        GTEST_SKIP() << "no file system can be mounted here";
    }
    const std::string in = small.path + "/in/";
    std::filesystem::create_directories(in);
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    const std::string name = "AsInstallSoftwareLogFile_full.csv";
    Sample::CLogGenerator generator(12);
    ASSERT_TRUE(generator.WriteFile(in + name, kInstallSoftware, 400));
    std::string content = WithInvalidDates(ReadFile(in + name));
    WriteFile(in + name, content);
    WriteFile(in + "AsInstallSoftwareLogFile_empty.csv", "");
    // Fill what is left but a few pages.
    {
        int fd = open((small.path + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        std::string block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        close(fd);
        std::filesystem::resize_file(small.path + "/filler",
                                     std::filesystem::file_size(small.path + "/filler") - 16384);
    }
    ASSERT_GT(content.size(), 16384u);

    ProgramResult result = RunProgram(in);
    EXPECT_EQ(1, result.code);
    EXPECT_NE(std::string::npos, result.errors.find("I/O error: " + in + name + ".COPY"))
        << result.errors;
    EXPECT_EQ(0, Rows(kInstallSoftware));
    EXPECT_EQ(content, ReadFile(in + name));
    EXPECT_TRUE(Exists(Errors() + "AsInstallSoftwareLogFile_empty.csv"));

    std::vector<LoggedEvent> events = Events();
    auto leftEvent = std::find_if(events.begin(), events.end(),
                                  [](const LoggedEvent& e) { return e.id == "50501"; });
    ASSERT_NE(events.end(), leftEvent);
    EXPECT_NE(std::string::npos, leftEvent->text.find(in + name)) << leftEvent->text;
    std::vector<std::string> ids;
    for (const LoggedEvent& e : events) ids.push_back(e.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ((std::vector<std::string>{"10109", "2147494870", "50501"}), ids);
}

// A path that cannot be judged (a link loop, which a sender can swap in and
// out again) is refused like one that another user can change, never trusted.
TEST(SettingsTrust, APathThatCannotBeCheckedIsRefused) {
    CTempDir dir;
    std::filesystem::create_directory_symlink(dir / "loop", dir / "loop");
    Platform::CPlatform& platform = Platform::DefaultPlatform();
    CEventBinding events(platform);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SettingsFileTrusted(platform, events, dir / "loop/KFSettings.ini"));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, errors.find("cannot be checked")) << errors;
    std::string reason;
    EXPECT_FALSE(FolderTrusted(platform, dir / "loop/backup/", &reason));
    EXPECT_TRUE(FolderTrusted(platform, dir / "missing/backup/", &reason)) << reason;
}

}  // namespace
