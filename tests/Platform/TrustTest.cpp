// What decides code and paths on Linux: who may change a file or the folders
// above it, and a lock file that nobody else can plant, replace or hold.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "Platform/Platform.h"
#include "Platform/Posix/PosixTrust.h"
#include "tests/Support/TempDir.h"

using namespace Platform;

namespace {

// An unprivileged user that owns nothing of ours.
constexpr uid_t kOtherUser = 65534;  // nobody

// The trust and claim walks go up with ParentOf and stop at "/": the root
// and what lies in it must give "/", never "" (an lstat of "" fails, and
// the walk would report a missing path instead of a verdict).
TEST(Trust, ParentOfEndsEveryWalkAtTheRoot) {
    const struct {
        const char* path;
        const char* parent;
    } cases[] = {
        {"/", "/"},
        {"//", "/"},
        {"/a", "/"},
        {"/a/", "/"},
        {"//a", "/"},
        {"/a/b", "/a"},
        {"/a/b//", "/a"},
        {"/a//b", "/a/"},
        {"a", ""},
        {"a/", ""},
        {"a/b", "a"},
        {"", ""},
        {"/tmp/in/x.csv", "/tmp/in"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.parent, Posix::ParentOf(c.path)) << '"' << c.path << '"';
}

struct TrustCase {
    const char* name;
    std::function<void(const std::string& root)> arrange;  // the file is root/dir/lib.so
    Status expected;
    const char* reasonMentions;  // the part of the path the reason names
};

TEST(Trust, FilesAndFoldersThatOthersCanChangeAreRefused) {
    if (geteuid() != 0)
        GTEST_SKIP() << "chown needs root";
    const TrustCase cases[] = {
        {"own file in own folder", [](const std::string&) {}, kSuccess, ""},
        {"file writable by others",
         [](const std::string& r) { chmod((r + "/dir/lib.so").c_str(), 0646); }, kAccessDenied,
         "lib.so"},
        {"file writable by its group",
         [](const std::string& r) { chmod((r + "/dir/lib.so").c_str(), 0664); }, kAccessDenied,
         "lib.so"},
        {"file owned by another user",
         [](const std::string& r) {
             ASSERT_EQ(0, chown((r + "/dir/lib.so").c_str(), kOtherUser, 0));
         },
         kAccessDenied, "lib.so"},
        {"folder writable by others",
         [](const std::string& r) { chmod((r + "/dir").c_str(), 0777); }, kAccessDenied, "/dir"},
        {"folder owned by another user",
         [](const std::string& r) { ASSERT_EQ(0, chown((r + "/dir").c_str(), kOtherUser, 0)); },
         kAccessDenied, "/dir"},
        {"sticky folder writable by all, as /tmp",
         [](const std::string& r) { chmod((r + "/dir").c_str(), 01777); }, kSuccess, ""},
        {"folder above writable by others", [](const std::string& r) { chmod(r.c_str(), 0757); },
         kAccessDenied, ""},
        {"missing file", [](const std::string& r) { unlink((r + "/dir/lib.so").c_str()); },
         kFileNotFound, ""},
    };
    for (const TrustCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir root;
        chmod(root.Path().c_str(), 0755);
        std::filesystem::create_directory(root / "dir");
        chmod((root / "dir").c_str(), 0755);
        WriteFile(root / "dir/lib.so", "x");
        chmod((root / "dir/lib.so").c_str(), 0644);
        c.arrange(root.Path());

        std::string reason;
        EXPECT_EQ(c.expected, DefaultPlatform().files.CheckTrusted(root / "dir/lib.so", &reason));
        if (c.expected == kAccessDenied) {
            EXPECT_NE(std::string::npos, reason.find(c.reasonMentions)) << reason;
            EXPECT_EQ(kAccessDenied, DefaultPlatform().system.LastError());
        }
    }
}

// A link on the way is judged by its owner, and its target like any path:
// a link that another user owns could be pointed elsewhere at any time.
TEST(Trust, LinksAreJudgedByTheirOwnerAndTheirTarget) {
    if (geteuid() != 0)
        GTEST_SKIP() << "lchown needs root";
    CTempDir root;
    chmod(root.Path().c_str(), 0755);
    WriteFile(root / "lib.so", "x");
    chmod((root / "lib.so").c_str(), 0644);
    ASSERT_EQ(0, symlink((root / "lib.so").c_str(), (root / "mine.so").c_str()));
    ASSERT_EQ(0, symlink((root / "lib.so").c_str(), (root / "theirs.so").c_str()));
    ASSERT_EQ(0, lchown((root / "theirs.so").c_str(), kOtherUser, kOtherUser));
    std::string reason;
    EXPECT_EQ(kSuccess, DefaultPlatform().files.CheckTrusted(root / "mine.so", &reason));
    EXPECT_EQ(kAccessDenied, DefaultPlatform().files.CheckTrusted(root / "theirs.so", &reason));
    EXPECT_NE(std::string::npos, reason.find("theirs.so")) << reason;

    chmod((root / "lib.so").c_str(), 0666);  // the target itself open to all
    EXPECT_EQ(kAccessDenied, DefaultPlatform().files.CheckTrusted(root / "mine.so", &reason));
}

// The registry file is refused, and never read, when others can change it.
TEST(Trust, TheRegistryFileIsNotReadWhenOthersCanChangeIt) {
    CTempDir root;
    chmod(root.Path().c_str(), 0755);
    std::string path = root / "registry.reg";
    WriteFile(path,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel]\r\n\"A\"=\"1\"\r\n");
    chmod(path.c_str(), 0644);
    CScopedEnv env("KESTRAFOLD_REGISTRY", path);
    IRegistry& registry = DefaultPlatform().registry;
    RegKey key = 0;

    EXPECT_EQ(kSuccess, registry.CheckTrusted(nullptr));
    ASSERT_EQ(kSuccess, registry.OpenKey(kHKeyLocalMachine, "SOFTWARE\\Zorel", kKeyRead, &key));
    registry.CloseKey(key);

    chmod(path.c_str(), 0666);
    std::string reason;
    EXPECT_EQ(kAccessDenied, registry.CheckTrusted(&reason));
    EXPECT_NE(std::string::npos, reason.find("registry.reg")) << reason;
    EXPECT_EQ(kAccessDenied,
              registry.OpenKey(kHKeyLocalMachine, "SOFTWARE\\Zorel", kKeyRead, &key));

    // A missing file is judged by the folder it would be created in.
    unlink(path.c_str());
    EXPECT_EQ(kSuccess, registry.CheckTrusted(nullptr));
    chmod(root.Path().c_str(), 0777);
    EXPECT_EQ(kAccessDenied, registry.CheckTrusted(nullptr));
}

// ------------------------------------------------------------ the lock file

std::string LockFolder() {
    return std::filesystem::is_directory("/run/lock") ? "/run/lock/" : "/tmp/";
}

// Runs `body` in a child process as another user; returns its exit code.
int AsOtherUser(const std::function<int()>& body) {
    pid_t child = fork();
    if (child == 0) {
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LockFile : public ::testing::Test {
protected:
    void TearDown() override { unlink(Path().c_str()); }
    std::string Name() { return "FerrowinTrustTest" + std::to_string(getpid()); }
    std::string Path() { return LockFolder() + Name() + ".lock"; }
};

TEST_F(LockFile, IsPrivateToItsOwner) {
    std::unique_ptr<IHeldLock> held;
    ASSERT_EQ(kSuccess, DefaultPlatform().locks.Acquire(Name(), &held));
    struct stat st;
    ASSERT_EQ(0, lstat(Path().c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_EQ(geteuid(), st.st_uid);
}

// A link in place of the lock file neither blocks the importer nor makes it
// create or truncate the file the link points at.
TEST_F(LockFile, ALinkInItsPlaceIsReplaced) {
    CTempDir target;
    std::string victim = target / "victim";
    WriteFile(victim, "keep");
    ASSERT_EQ(0, symlink(victim.c_str(), Path().c_str()));
    ASSERT_EQ(0, symlink((target / "missing").c_str(), (Path() + "2").c_str()));

    std::unique_ptr<IHeldLock> held;
    ASSERT_EQ(kSuccess, DefaultPlatform().locks.Acquire(Name(), &held));
    struct stat st;
    ASSERT_EQ(0, lstat(Path().c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ("keep", ReadFile(victim));

    std::unique_ptr<IHeldLock> second;
    EXPECT_EQ(kSuccess, DefaultPlatform().locks.Acquire(Name() + "2", &second));
    EXPECT_FALSE(std::filesystem::exists(target / "missing"));
    second.reset();
    unlink((Path() + "2").c_str());
}

// Another user makes the lock file first, open to all, and holds it: the
// importer puts its own in its place and runs; that user cannot open the
// new one to block it.
TEST_F(LockFile, OneMadeBeforehandByAnotherUserCannotBlockTheImporter) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    int ready[2], done[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(done));
    std::string path = Path(), name = Name();  // the children have other pids
    pid_t squatter = fork();
    ASSERT_GE(squatter, 0);
    if (squatter == 0) {
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)
            _exit(100);
        int fd = open(path.c_str(), O_RDWR | O_CREAT, 0666);
        fchmod(fd, 0666);
        char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(2);
        char wait = 0;
        if (read(done[0], &wait, 1) < 0)
            _exit(3);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(1, read(ready[0], &ok, 1));
    ASSERT_EQ('y', ok);

    std::unique_ptr<IHeldLock> held;
    EXPECT_EQ(kSuccess, DefaultPlatform().locks.Acquire(Name(), &held));
    struct stat st;
    ASSERT_EQ(0, lstat(path.c_str(), &st));
    EXPECT_EQ(0u, st.st_uid);
    EXPECT_EQ(0600u, st.st_mode & 07777);

    // The other user can neither open the new file nor take the lock.
    EXPECT_EQ(0, AsOtherUser([&] {
                  std::unique_ptr<IHeldLock> theirs;
                  return DefaultPlatform().locks.Acquire(name, &theirs) == kAccessDenied ? 0 : 1;
              }));
    EXPECT_EQ(0, AsOtherUser([&] { return open(path.c_str(), O_RDONLY) < 0 ? 0 : 1; }));

    if (write(done[1], "x", 1) != 1)
        ADD_FAILURE();
    int status = 0;
    waitpid(squatter, &status, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

}  // namespace
