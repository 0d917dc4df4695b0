// Files that a killed run leaves behind, and names and paths at the system's
// limits: end to end on real files and the embedded database.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "Platform/TemporaryName.h"
#include "tests/Server/Ferrowin/ImportFixture.h"

namespace {

constexpr LogKind kFileLog = 0, kInstallSoftware = 14;

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A log name of exactly `length` bytes.
std::string LongName(std::size_t length, char fill = 'n') {
    return "FileLogFile_" + std::string(length - 16, fill) + ".csv";
}

// A child process that waits until it is killed.
class CLiveProcess {
public:
    CLiveProcess() : m_pid(fork()) {
        if (m_pid == 0) {
            pause();
            _exit(0);
        }
    }
    ~CLiveProcess() {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    std::uint32_t Pid() const { return static_cast<std::uint32_t>(m_pid); }

private:
    pid_t m_pid;
};

// The id of a process that has ended, as a killed importer's is.
std::uint32_t EndedPid() {
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return static_cast<std::uint32_t>(child);
}

class Leftovers : public ImportFixture {};

TEST_F(Leftovers, CopiesOfAKilledRunAreRemovedAndNothingElse) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    CLiveProcess live;
    std::string dead = std::to_string(EndedPid());
    std::string longCopy = Platform::MoveCopyName(Backup() + LongName(254),
                                                  static_cast<std::uint32_t>(std::stoul(dead)));
    ASSERT_LE(std::filesystem::path(longCopy).filename().string().size(), 255u);

    struct Planted {
        std::string path;
        bool removed;
    };
    const Planted kPlanted[] = {
        {Backup() + "FileLogFile_a.csv.mv" + dead, true},
        {longCopy, true},
        {Errors() + "FileLogFile_b.csv.mv" + dead, true},  // made read-only below
        // Beside its log, which is of no kind and so stays where it is.
        {In() + "unknown_c.csv.COPY", true},
        // A move that another process may still be making.
        {Backup() + "FileLogFile_d.csv.mv" + std::to_string(live.Pid()), false},
        // Not named as this program names its copies.
        {Backup() + "notes.mv" + dead, false},
        {Backup() + "FileLogFile_e.csv.mv0" + dead, false},
        {In() + "FileLogFile_f.csv.copy", false},
        // A rewrite copy whose log is gone could hold the only version of it.
        {In() + "FileLogFile_g.csv.COPY", false},
    };
    for (const Planted& p : kPlanted) WriteFile(p.path, "partial");
    chmod((Errors() + "FileLogFile_b.csv.mv" + dead).c_str(), 0444);
    WriteFile(In() + "unknown_c.csv", "kept");
    PutLog(kFileLog, "FileLogFile_1.csv", 3);

    EXPECT_EQ(1, Run(In()));

    for (const Planted& p : kPlanted) EXPECT_EQ(!p.removed, Exists(p.path)) << p.path;
    EXPECT_EQ("kept", ReadFile(In() + "unknown_c.csv"));
    EXPECT_EQ(3, Rows(kFileLog));
    EXPECT_TRUE(Exists(Backup() + "FileLogFile_1.csv"));
}

// With the backup folder on another file system a move copies the file
// beside its target first: names of 252 to 255 bytes leave no room for
// ".mv<pid>" and were refused, so the file stayed and was loaded again by
// every run.
TEST_F(Leftovers, NamesUpToTheLimitMoveToABackupOnAnotherFileSystem) {
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    CTempDir shm("/dev/shm");
    struct stat a, b;
    ASSERT_EQ(0, stat(shm.Path().c_str(), &a));
    ASSERT_EQ(0, stat(In().c_str(), &b));
    if (a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm and the temp folder share a device";
    std::string backup = shm / "backup/";
    std::filesystem::create_directories(backup);
    SetFolders(backup, Errors());
    std::vector<std::string> names;
    for (std::size_t length : {252u, 253u, 254u, 255u}) {
        names.push_back(LongName(length));
        PutLog(kFileLog, names.back(), 3);
    }

    EXPECT_EQ(1, Run(In()));
    EXPECT_EQ(1, Run(In()));

    EXPECT_TRUE(Events().empty()) << Events()[0].text;
    EXPECT_EQ(12, Rows(kFileLog));
    EXPECT_TRUE(Names(In()).empty());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, Names(backup));  // and no copy beside them
}

// A file whose move failed is renamed to its name plus ".err" in place; a
// name too long for that gets a shortened one that still ends in ".err", so
// that it leaves the listing instead of being loaded by every run.
TEST_F(Leftovers, ANameTooLongForErrIsShortenedAndNotLoadedAgain) {
    SetFolders(m_root / "missing/", Errors());
    std::string name = LongName(254);
    PutLog(kFileLog, name, 3);

    EXPECT_EQ(1, Run(In()));
    EXPECT_EQ(1, Run(In()));

    EXPECT_EQ(std::vector<std::string>{"50603"}, EventIds());
    EXPECT_EQ(3, Rows(kFileLog));
    std::vector<std::string> left = Names(In());
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(Platform::SuffixedName(name, Platform::kErrorSuffix), left[0]);
    EXPECT_EQ(".csv.err", left[0].substr(left[0].size() - 8));
}

// The rewrite's copy of a 255-byte name could not be made: the file was
// loaded without its dates cleaned.
TEST_F(Leftovers, AnInstallSoftwareLogOf255BytesIsRewrittenBeforeItsLoad) {
    Sample::CLogGenerator generator;
    std::string record = generator.Record(kInstallSoftware, 1);
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        size_t end = record.find('\xFE', start);
        fields.push_back(record.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    ASSERT_EQ(15u, fields.size());
    fields[10] = "2008/13/01";
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\xFE" : "") + fields[i];
    std::string name = "AsInstallSoftwareLogFile_" + std::string(226, 's') + ".csv";
    ASSERT_EQ(255u, name.size());
    WriteFile(In() + name, line + "\r\n" + record + "\r\n");

    EXPECT_EQ(1, Run(In()));

    EXPECT_TRUE(Events().empty()) << Events()[0].text;
    EXPECT_EQ(2, Rows(kInstallSoftware));
    EXPECT_EQ(1, Query("SELECT COUNT(*) as n FROM VY_AsInstallSoftware WHERE InstallDate IS NULL"));
    EXPECT_TRUE(Names(In()).empty());
}

// A log whose full path is longer than PATH_MAX can be listed but no file
// call takes it: each run reports it once and leaves it, and the other files
// of the folder load as usual.
TEST_F(Leftovers, APathLongerThanTheSystemAllowsIsReportedOnceByEachRun) {
    std::string folder = In();
    while (folder.size() < 3900) folder += std::string(200, 'd') + "/";
    std::filesystem::create_directories(folder);
    std::string name = LongName(250);
    ASSERT_GT(folder.size() + name.size(), 4095u);
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(5, write(fd, "rows\n", 5));
    close(fd);
    std::string other = folder + "FileLogFile_1.csv";
    WriteFile(other, ReadFile(PutLog(kFileLog, "FileLogFile_1.csv", 2)));
    std::filesystem::remove(In() + "FileLogFile_1.csv");
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());

    EXPECT_EQ(1, Run(folder));
    EXPECT_EQ(std::vector<std::string>{"10109"}, EventIds());
    EXPECT_EQ(1, Run(folder));

    std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(2u, events.size());
    for (const LoggedEvent& e : events) {
        EXPECT_EQ("10109", e.id);
        EXPECT_NE(std::string::npos, e.text.find(folder + name)) << e.text.substr(0, 80);
    }
    EXPECT_EQ(2, Rows(kFileLog));
    EXPECT_EQ(0, faccessat(dir, name.c_str(), F_OK, 0));  // left where it was
    EXPECT_TRUE(Exists(Backup() + "FileLogFile_1.csv"));
    close(dir);
}

// A database that cannot take data now (a read-only file, a full disk) is
// no fault of the file: it stays for a later run (E_FAIL) instead of going to
// the error folder, and each run says once on standard error why.
class UnwritableDatabase : public ImportFixture {
protected:
    ~UnwritableDatabase() override {
        SetImmutable(Database(), false);
        if (!m_mount.empty())
            umount2(m_mount.c_str(), MNT_DETACH);
    }

    // The immutable attribute, which even root cannot write through.
    static bool SetImmutable(const std::string& path, bool on) {
        int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return done;
    }

    // Two logs, run twice: both stay and are not reported; each run writes
    // its one note.
    void ExpectFilesLeftWithOneNotePerRun(const std::string& why) {
        std::vector<std::string> logs = {PutLog(kFileLog, "FileLogFile_1.csv", 5000),
                                         PutLog(kFileLog, "FileLogFile_2.csv", 5000)};
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            testing::internal::CaptureStderr();
            EXPECT_EQ(1, Run(In()));
            std::string errors = testing::internal::GetCapturedStderr();
            EXPECT_EQ(1, std::count(errors.begin(), errors.end(), '\n')) << errors;
            EXPECT_NE(std::string::npos, errors.find("files are left in the input folder"))
                << errors;
            EXPECT_NE(std::string::npos, errors.find(why)) << errors;
            for (const std::string& log : logs) EXPECT_TRUE(Exists(log)) << log;
        }
        std::vector<std::string> ids = EventIds();
        EXPECT_EQ(0, std::count(ids.begin(), ids.end(), "10109"));
        EXPECT_EQ(0, std::count(ids.begin(), ids.end(), "2147494870"));  // the failure notice
        EXPECT_TRUE(Names(Errors()).empty());
    }

    std::string m_mount;
};

TEST_F(UnwritableDatabase, AReadOnlyDatabaseLeavesTheFiles) {
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    EXPECT_EQ(0, Query("SELECT COUNT(*) as n FROM VY_FileOptLog"));  // made with its schema
    if (!SetImmutable(Database(), true))
        GTEST_SKIP() << "the immutable attribute cannot be set here";
    ExpectFilesLeftWithOneNotePerRun("readonly");
}

TEST_F(UnwritableDatabase, AFullDiskLeavesTheFiles) {
    m_mount = m_root / "small";
    std::filesystem::create_directories(m_mount);
    if (mount("tmpfs", m_mount.c_str(), "tmpfs", 0, "size=4m") != 0) {
        m_mount.clear();
        GTEST_SKIP() << "no file system can be mounted here";
    }
    std::string registry = DefaultRegistry();
    std::string database = m_mount + "/veyrith.db";
    registry.replace(registry.find(Database()), Database().size(), database);
    WriteRegistry(registry);
    SetFolders(Backup(), Errors());
    std::filesystem::create_directories(Backup());
    std::filesystem::create_directories(Errors());
    {
        CADODatabase db;
        ASSERT_TRUE(db.Open("Provider=Embedded;Data Source=" + database));
    }
    // Room for the database to open and be read, not for a load.
    int fd = open((m_mount + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    std::string block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
    std::filesystem::resize_file(m_mount + "/filler",
                                 std::filesystem::file_size(m_mount + "/filler") - 256 * 1024);
    ExpectFilesLeftWithOneNotePerRun("full");
}

}  // namespace
