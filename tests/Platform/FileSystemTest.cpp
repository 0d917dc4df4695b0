// Files on the real Linux file systems.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Platform/Platform.h"
#include "tests/Support/TempDir.h"

using namespace Platform;

namespace {

TEST(FileSystem, MoveAcrossFileSystemsReplacesTargetAndRemovesSource) {
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    CTempDir shm("/dev/shm");
    CTempDir disk;
    struct stat a, b;
    ASSERT_EQ(0, stat(shm.Path().c_str(), &a));
    ASSERT_EQ(0, stat(disk.Path().c_str(), &b));
    if (a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm and the temp folder share a device";

    std::string payload(300000, 'p');
    WriteFile(shm / "log.csv", payload);
    WriteFile(disk / "log.csv", "old target");
    IFileSystem& files = DefaultPlatform().files;

    EXPECT_EQ(kAlreadyExists, files.Relocate(shm / "log.csv", disk / "log.csv", false));
    EXPECT_TRUE(files.Exists(shm / "log.csv"));
    EXPECT_EQ("old target", ReadFile(disk / "log.csv"));

    ASSERT_EQ(kSuccess, files.Relocate(shm / "log.csv", disk / "log.csv", true));
    EXPECT_FALSE(files.Exists(shm / "log.csv"));
    EXPECT_EQ(payload, ReadFile(disk / "log.csv"));
    // No temporary copy is left beside the target.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(disk.Path()),
                               std::filesystem::directory_iterator()));
}

// A name of 252 to 255 bytes leaves no room for ".mv<pid>": the copy's name
// is cut to fit, and the move succeeds like any other.
TEST(FileSystem, MoveAcrossFileSystemsTakesNamesUpToTheLimit) {
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    CTempDir shm("/dev/shm");
    CTempDir disk;
    IFileSystem& files = DefaultPlatform().files;
    for (std::size_t length : {250u, 252u, 255u}) {
        SCOPED_TRACE(length);
        std::string name = std::string(length - 4, 'n') + ".csv";
        WriteFile(shm / name, "rows");
        ASSERT_EQ(kSuccess, files.Relocate(shm / name, disk / name, true));
        EXPECT_EQ("rows", ReadFile(disk / name));
        EXPECT_FALSE(files.Exists(shm / name));
    }
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(disk.Path()),
                               std::filesystem::directory_iterator()));
}

// A FIFO has no end: reading it as a file is refused at once instead of
// waiting for a writer.
TEST(FileSystem, ReadingAFifoIsRefusedAtOnce) {
    CTempDir dir;
    ASSERT_EQ(0, mkfifo((dir / "pipe.csv").c_str(), 0600));
    std::string content;
    EXPECT_EQ(kAccessDenied, DefaultPlatform().files.ReadWhole(dir / "pipe.csv", &content));
}

// A link planted at the temporary name is replaced, never written through.
TEST(FileSystem, ReplaceDoesNotWriteThroughALinkAtTheTemporaryName) {
    CTempDir dir;
    WriteFile(dir / "victim", "keep");
    WriteFile(dir / "log.csv", "old");
    std::filesystem::create_symlink(dir / "victim", dir / "log.csv.COPY");
    ASSERT_EQ(kSuccess,
              DefaultPlatform().files.ReplaceContent(dir / "log.csv", "new", dir / "log.csv.COPY"));
    EXPECT_EQ("keep", ReadFile(dir / "victim"));
    EXPECT_EQ("new", ReadFile(dir / "log.csv"));
}

// A symbolic link is a thing of its own, as on Windows: its attributes are
// its own, setting them leaves the target alone, and a move (on one file
// system or across two) moves the link and never reads or changes the file
// it points at.
TEST(FileSystem, LinksAreMovedAsLinksAndTheirTargetsLeftAlone) {
    CTempDir disk;
    std::unique_ptr<CTempDir> shm;
    if (std::filesystem::is_directory("/dev/shm"))
        shm = std::make_unique<CTempDir>("/dev/shm");
    IFileSystem& files = DefaultPlatform().files;
    WriteFile(disk / "secret", "secret");
    chmod((disk / "secret").c_str(), 0444);
    std::filesystem::create_directory(disk / "folder");
    std::filesystem::create_directory(disk / "out");
    std::filesystem::create_symlink(disk / "secret", disk / "link.csv");
    std::filesystem::create_symlink(disk / "folder", disk / "dirlink.csv");

    std::uint32_t attributes = 0;
    ASSERT_EQ(kSuccess, files.GetAttributes(disk / "link.csv", &attributes));
    EXPECT_EQ(kAttributeReparsePoint, attributes);
    ASSERT_EQ(kSuccess, files.GetAttributes(disk / "dirlink.csv", &attributes));
    EXPECT_EQ(kAttributeReparsePoint | kAttributeDirectory, attributes);
    EXPECT_EQ(kSuccess, files.SetAttributes(disk / "link.csv", 0));
    struct stat st;
    ASSERT_EQ(0, stat((disk / "secret").c_str(), &st));
    EXPECT_EQ(0444u, st.st_mode & 0777);

    std::vector<std::string> targets = {disk / "out/link.csv"};
    if (shm)
        targets.push_back(*shm / "link.csv");
    std::string from = disk / "link.csv";
    for (const std::string& to : targets) {
        SCOPED_TRACE(to);
        ASSERT_EQ(kSuccess, files.Relocate(from, to, true));
        EXPECT_TRUE(std::filesystem::is_symlink(to));
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(from)));
        EXPECT_EQ(disk / "secret", std::filesystem::read_symlink(to).string());
        from = to;
    }
    EXPECT_EQ("secret", ReadFile(disk / "secret"));
}

// A child is alive while it runs, and not once it has ended and been
// reaped; a process of another user counts as alive too.
TEST(System, AProcessIsAliveUntilItEnds) {
    ISystem& system = DefaultPlatform().system;
    EXPECT_EQ(static_cast<std::uint32_t>(getpid()), system.CurrentProcessId());
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pause();
        _exit(0);
    }
    EXPECT_TRUE(system.IsProcessAlive(static_cast<std::uint32_t>(child)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(system.IsProcessAlive(static_cast<std::uint32_t>(child)));
    EXPECT_TRUE(system.IsProcessAlive(1));  // init, never ours to signal when unprivileged
}

// A hard link may name a file of anyone's: it is never claimed.
TEST(Claim, AFileWithMoreThanOneLinkIsRefused) {
    CTempDir dir;
    std::filesystem::create_directory(dir / "in");
    WriteFile(dir / "secret", "root's");
    ASSERT_EQ(0, link((dir / "secret").c_str(), (dir / "in/FileLogFile_x.csv").c_str()));
    std::unique_ptr<IClaimedFile> claimed;
    EXPECT_EQ(kAccessDenied,
              DefaultPlatform().files.ClaimFile(dir / "in/FileLogFile_x.csv", &claimed));
    EXPECT_TRUE(std::filesystem::exists(dir / "in/FileLogFile_x.csv"));
}

// A run killed while it held a claim: the next run's recovery gives the
// file back to its input folder. When a new file of that name has arrived
// meanwhile, the old one is claimed first and the new one waits its turn.
TEST(Claim, AClaimLeftByAKilledRunIsTakenUpAgain) {
    CTempDir dir;
    std::filesystem::create_directory(dir / "in");
    IFileSystem& files = DefaultPlatform().files;
    auto leaveClaimed = [&](const std::string& name, const std::string& content) {
        WriteFile(dir / ("in/" + name), content);
        pid_t pid = fork();
        if (pid == 0) {
            std::unique_ptr<IClaimedFile> claimed;
            if (files.ClaimFile(dir / ("in/" + name), &claimed) != kSuccess)
                _exit(1);
            claimed.release();  // as a kill would leave it
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_FALSE(std::filesystem::exists(dir / ("in/" + name)));
    };

    leaveClaimed("a.csv", "first");
    ASSERT_EQ(kSuccess, files.RecoverClaims(dir / "in"));
    EXPECT_EQ("first", ReadFile(dir / "in/a.csv"));

    leaveClaimed("b.csv", "old");
    WriteFile(dir / "in/b.csv", "new");
    ASSERT_EQ(kSuccess, files.RecoverClaims(dir / "in"));
    EXPECT_EQ("new", ReadFile(dir / "in/b.csv"));
    std::unique_ptr<IClaimedFile> claimed;
    ASSERT_EQ(kSuccess, files.ClaimFile(dir / "in/b.csv", &claimed));
    std::string content;
    ASSERT_EQ(kSuccess, claimed->Read(&content));
    EXPECT_EQ("old", content);
    ASSERT_EQ(kSuccess, claimed->MoveTo(dir / "b-old.csv"));
    claimed.reset();
    ASSERT_EQ(kSuccess, files.ClaimFile(dir / "in/b.csv", &claimed));
    ASSERT_EQ(kSuccess, claimed->Read(&content));
    EXPECT_EQ("new", content);
}

// The claim folder is the importer's own, beside (not inside) an input
// folder that another user owns.
TEST(Claim, TheClaimFolderLiesAboveAnInputFolderOfAnotherUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "chown needs root";
    CTempDir dir;
    chmod(dir.Path().c_str(), 0755);
    std::filesystem::create_directory(dir / "in");
    ASSERT_EQ(0, chown((dir / "in").c_str(), 65534, 65534));
    WriteFile(dir / "in/a.csv", "rows");
    std::unique_ptr<IClaimedFile> claimed;
    ASSERT_EQ(kSuccess, DefaultPlatform().files.ClaimFile(dir / "in/a.csv", &claimed));
    std::string load = claimed->LoadPath();
    EXPECT_EQ(0u, load.rfind(dir / ".ferrowin-claim/", 0)) << load;
    struct stat st;
    ASSERT_EQ(0, stat(std::filesystem::path(load).parent_path().c_str(), &st));
    EXPECT_EQ(0u, st.st_uid);
    EXPECT_EQ(0700u, st.st_mode & 07777);
}

TEST(System, ErrorTextEnvironmentAndModule) {
    ISystem& system = DefaultPlatform().system;
    std::string text = system.ErrorText(kFileNotFound);
    EXPECT_EQ("No such file or directory\n", text);
    EXPECT_EQ("", system.ErrorText(99999));
    CScopedEnv env("FERROWIN_TEST_VAR", "value");
    EXPECT_EQ("a value b %UNSET_FERROWIN% 100%",
              system.ExpandEnvironment("a %FERROWIN_TEST_VAR% b %UNSET_FERROWIN% 100%"));
    EXPECT_NE(std::string::npos, system.ModuleFileName().find("platform_tests"));
    LocalTime now = system.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_LT(now.milliseconds, 1000);
}

}  // namespace
