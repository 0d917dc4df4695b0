// The platform seam on Linux.
//
//   Status translation   errno to Win32 status, the thread's last error
//   Registry             regedit file named by KESTRAFOLD_REGISTRY
//   Profile              INI files read and written whole
//   Files                opendir listing, rename with a copy across devices
//   Claims               a file taken into a private folder under a lease
//   Instance lock        flock on a file in /run/lock (or /tmp)
//   Dynamic library      dlopen
//   System               /proc/self/exe, strerror, %VAR%, localtime_r, no COM
//   Default instance
//
// The trust checks, which the registry, the files and the claims share, are
// in PosixTrust.cpp.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/Platform.h"
#include "Platform/Posix/PosixTrust.h"
#include "Platform/ProfileText.h"
#include "Platform/RegistryHive.h"
#include "Platform/TemporaryName.h"
#include "Platform/Wildcard.h"

namespace Platform {

// ----------------------------------------------------- status translation

namespace {

thread_local Status t_lastError = kSuccess;

struct ErrnoStatus {
    int error;
    Status status;
};
// One table both ways: errno to status, and status back to errno for the text.
const ErrnoStatus kErrnoTable[] = {
    {0, kSuccess},
    {ENOENT, kFileNotFound},
    {ENOTDIR, kPathNotFound},
    {EACCES, kAccessDenied},
    {EPERM, kAccessDenied},
    {EROFS, kAccessDenied},
    {EBADF, kInvalidHandle},
    {ENOMEM, kNotEnoughMemory},
    {EXDEV, kNotSameDevice},
    {EIO, kReadFault},
    {EBUSY, kSharingViolation},
    {EEXIST, kAlreadyExists},
    {EINVAL, kInvalidParameter},
    {ENOSPC, kDiskFull},
    {ENAMETOOLONG, kInvalidName},
    {ENOTEMPTY, kDirNotEmpty},
    {ENOEXEC, kBadExeFormat},
    {EISDIR, kAccessDenied},
    {ELOOP, kInvalidName},
    {EWOULDBLOCK, kAlreadyExists},
};

}  // namespace

namespace Posix {

Status TranslateErrno(int error) {
    for (const ErrnoStatus& e : kErrnoTable)
        if (e.error == error)
            return e.status;
    return kGenericFailure;
}

// The status of a call on `path` that failed with `error`. Windows tells a
// missing file (2) from a missing folder on the way to it (3); errno does not.
Status PathStatus(const std::string& path, int error) {
    if (error != ENOENT && error != ENOTDIR)
        return TranslateErrno(error);
    std::string parent = ParentOf(path);
    struct stat st;
    bool folder = stat(parent.empty() ? "." : parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return error == ENOENT && folder ? kFileNotFound : kPathNotFound;
}

}  // namespace Posix

namespace {

using Posix::CheckTrustedStore;
using Posix::ParentOf;
using Posix::PathStatus;
using Posix::TranslateErrno;
using Posix::TrustedPath;

Status Fail(Status status) {
    t_lastError = status;
    return status;
}

Status FailErrno() {
    return Fail(TranslateErrno(errno));
}

Status FailPath(const std::string& path) {
    return Fail(PathStatus(path, errno));
}

// The one owner of a file descriptor: move-only, and closing twice is
// harmless (a moved-from owner holds nothing).
class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Close(); }
    CFd(CFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CFd& operator=(CFd&& other) noexcept {
        if (this != &other) {
            Close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Gives up ownership.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes now and tells whether the close succeeded (it reports delayed
    // write errors).
    bool Close() {
        if (m_fd < 0)
            return true;
        return close(std::exchange(m_fd, -1)) == 0;
    }

private:
    int m_fd;
};

Status ReadOpen(int fd, std::string* content);

// Reads a whole regular file. Returns the status without touching the
// thread's last error, so that the registry and profile readers, which
// report through their results, leave it alone.
// With `followLinks` false a symbolic link is refused (5), never read.
Status ReadContent(const std::string& path, std::string* content, bool followLinks = true) {
    // Non-blocking, so that a FIFO cannot hold the open forever.
    CFd fd(open(path.c_str(),
                O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW)));
    if (!fd.Valid())
        return errno == ELOOP && !followLinks ? kAccessDenied : PathStatus(path, errno);
    struct stat st;
    if (fstat(fd.Get(), &st) != 0)
        return TranslateErrno(errno);
    if (!S_ISREG(st.st_mode))
        return kAccessDenied;
    return ReadOpen(fd.Get(), content);
}

// Reads what is left of an open file.
Status ReadOpen(int fd, std::string* content) {
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return TranslateErrno(errno);
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    *content = std::move(text);
    return kSuccess;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    return ReadContent(path, text) == kSuccess;
}

// Writes all `size` bytes, resuming after short writes and interruptions.
Status WriteAll(int fd, const char* data, size_t size) {
    for (size_t done = 0; done < size;) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno != EINTR)
            return FailErrno();
        if (n > 0)
            done += static_cast<size_t>(n);
    }
    return kSuccess;
}

// Reads the whole of what `fd` holds, from its start.
// What `fd` holds, from its start, piece by piece to `take`.
Status ReadPiecesAt(int fd, const std::function<void(const char*, std::size_t)>& take) {
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n == 0)
            return kSuccess;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return FailErrno();
        }
        take(buffer, static_cast<size_t>(n));
        at += n;
    }
}

Status ReadAllAt(int fd, std::string* content) {
    std::string text;
    Status status =
        ReadPiecesAt(fd, [&](const char* data, std::size_t size) { text.append(data, size); });
    if (status == kSuccess)
        *content = std::move(text);
    return status;
}

// Copies what `in` holds, from its start, to `out`.
Status CopyAllAt(int in, int out) {
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        ssize_t n = pread(in, buffer, sizeof buffer, at);
        if (n == 0)
            return kSuccess;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return FailErrno();
        }
        if (Status s = WriteAll(out, buffer, static_cast<size_t>(n)))
            return s;
        at += n;
    }
}

// The mode of a file the importer makes in place of one it was given: its
// own read and write bits alone, whatever the original carried.
mode_t OwnMode(mode_t original) {
    return (original & S_IWUSR) ? 0600 : 0400;
}

// Flushes a folder, so that a rename inside it survives a power loss.
void SyncFolder(const std::string& path) {
    std::string parent = ParentOf(path);
    CFd dir(open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid())
        fsync(dir.Get());
}

// Replaces `path` by `text` through `temp` and a rename, so that a reader
// never sees half a file and a crash leaves the old or the new content.
// A new file gets `newMode`; an existing regular file keeps its read and
// write bits, plus those of `newMode`. A link at `path` is replaced, never
// followed, and lends no mode.
Status ReplaceWhole(const std::string& path, const std::string& text, const std::string& temp,
                    mode_t newMode = 0600) {
    struct stat st;
    bool existed = lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode);
    if (existed && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)))
        return Fail(kAccessDenied);
    unlink(temp.c_str());  // never write through a link left at the temporary name
    CFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.Valid())
        return FailPath(temp);
    // Read and write bits only: no execute, setuid, setgid or sticky bit.
    fchmod(fd.Get(), existed ? (st.st_mode | newMode) & 0666 : newMode);
    Status status = WriteAll(fd.Get(), text.data(), text.size());
    if (status == kSuccess && fsync(fd.Get()) != 0)
        status = FailErrno();
    if (!fd.Close() && status == kSuccess)
        status = FailErrno();
    if (status == kSuccess && rename(temp.c_str(), path.c_str()) != 0)
        status = FailPath(path);
    if (status != kSuccess) {
        unlink(temp.c_str());
        return status;
    }
    SyncFolder(path);
    return kSuccess;
}

Status WriteWholeFile(const std::string& path, const std::string& text) {
    return ReplaceWhole(path, text, path + ".tmp" + std::to_string(getpid()));
}

// --------------------------------------------------------------- registry

// The registry file, parsed again only when it has changed: every key
// opened and every value read loads the hive, and a large file took seconds
// to parse for each log. The file is trusted or refused on every load.
class CRegistryFile : public IHiveBacking {
public:
    Status Load(CRegistryStore* store) override {
        std::shared_ptr<const CRegistryStore> shared;
        if (Status s = LoadShared(&shared))
            return s;
        *store = *shared;
        return kSuccess;
    }
    Status LoadShared(std::shared_ptr<const CRegistryStore>* store) override {
        // A file that others can change is never read: it decides what runs.
        if (CheckTrusted(nullptr) != kSuccess)
            return kAccessDenied;
        // Non-blocking, so that a FIFO cannot hold the open forever.
        std::string path = Path();
        CFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st;
        std::string text;
        if (path != m_parsedPath)
            m_parsed.reset();
        if (!fd.Valid() || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            (!Unchanged(st) && ReadOpen(fd.Get(), &text) != kSuccess)) {
            m_parsed.reset();
            *store = std::make_shared<const CRegistryStore>();
            return kSuccess;
        }
        if (!Unchanged(st)) {
            m_parsed = std::make_shared<const CRegistryStore>(CRegistryStore::Parse(text, nullptr));
            m_parsedPath = path;
            m_seen = st;
            // A change within the file system's timestamp step would keep
            // the same identity: a file changed that recently is read again
            // next time.
            if (RecentlyChanged(st))
                m_seen.st_ino = 0;
        }
        *store = m_parsed;
        return kSuccess;
    }
    Status Save(const CRegistryStore& store) override {
        m_parsed.reset();
        return WriteWholeFile(Path(), store.Serialize());
    }
    bool Writable() override {
        std::string path = Path();
        if (access(path.c_str(), F_OK) == 0)
            return access(path.c_str(), W_OK) == 0;
        std::string folder = path.substr(0, path.rfind('/') + 1);
        return access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
    }
    Status CheckTrusted(std::string* reason) override { return CheckTrustedStore(Path(), reason); }

private:
    static std::string Path() {
        const char* env = std::getenv("KESTRAFOLD_REGISTRY");
        return env && *env ? env : "/etc/kestrafold/registry.reg";
    }

    // The same file (device and inode), the same size, and neither its
    // content nor its inode changed since it was parsed (the change time
    // catches a rewrite that put the old modification time back).
    bool Unchanged(const struct stat& st) const {
        return m_parsed && st.st_dev == m_seen.st_dev && st.st_ino == m_seen.st_ino &&
               st.st_size == m_seen.st_size && SameTime(st.st_mtim, m_seen.st_mtim) &&
               SameTime(st.st_ctim, m_seen.st_ctim);
    }
    static bool SameTime(const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
    // Changed in the last two seconds (the coarsest timestamp step of the
    // usual file systems), or in the future.
    static bool RecentlyChanged(const struct stat& st) {
        auto nanoseconds = [](const timespec& t) {
            return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
        };
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        long long changed = std::max(nanoseconds(st.st_mtim), nanoseconds(st.st_ctim));
        return nanoseconds(now) - changed < 2000000000LL;
    }

    std::shared_ptr<const CRegistryStore> m_parsed;
    std::string m_parsedPath;
    struct stat m_seen = {};
};

class CPosixRegistry : public CHiveRegistry {
public:
    CPosixRegistry() : CHiveRegistry(m_file) {}

private:
    CRegistryFile m_file;
};

// ---------------------------------------------------------------- profile

class CPosixProfile : public IProfile {
public:
    std::uint32_t GetString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, std::uint32_t size, const std::string& path) override {
        std::string text;
        bool present = ReadWholeFile(path, &text);
        return ProfileGetString(present ? &text : nullptr, section, key, defaultValue, buffer,
                                size);
    }
    bool WriteString(const char* section, const char* key, const char* value,
                     const std::string& path) override {
        std::string text;
        ReadWholeFile(path, &text);
        if (!ProfileWriteString(text, section, key, value)) {
            Fail(kInvalidParameter);
            return false;
        }
        return WriteWholeFile(path, text) == kSuccess;
    }
};

// A symbolic link moved across file systems: the same link is made beside
// the target, put in place, and the source link removed. The target of the
// link is never opened.
Status MoveLinkAcross(const std::string& from, const std::string& to, bool replaceExisting) {
    char target[4096];
    ssize_t n = readlink(from.c_str(), target, sizeof target - 1);
    if (n < 0)
        return FailErrno();
    target[n] = '\0';
    std::string temp = MoveCopyName(to, static_cast<std::uint32_t>(getpid()));
    unlink(temp.c_str());
    if (symlink(target, temp.c_str()) != 0)
        return FailErrno();
    int rc = replaceExisting
                 ? rename(temp.c_str(), to.c_str())
                 : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0) {
        Status s = errno == EEXIST ? Fail(kAlreadyExists) : FailErrno();
        unlink(temp.c_str());
        return s;
    }
    if (unlink(from.c_str()) != 0) {
        Status s = FailErrno();
        unlink(to.c_str());
        return s;
    }
    return kSuccess;
}

// ----------------------------------------------------------------- claims

// Where claimed files wait: a folder of this user's, mode 0700, below the
// nearest folder above the input folder (on its file system) that nobody
// else can change, so that no part of the path that the database server
// opens can be swapped by the sender. One folder per input folder, named by
// its device and inode.
constexpr char kClaimFolder[] = ".ferrowin-claim";

// A folder of this user's with mode 0700 at `name` in `parent`, made when
// missing and `create` is set.
CFd PrivateFolderAt(int parent, const std::string& name, bool create) {
    if (create && mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST)
        return CFd();
    CFd fd(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd.Valid() || fstat(fd.Get(), &st) != 0)
        return CFd();
    if (st.st_uid != geteuid()) {
        errno = EACCES;
        return CFd();
    }
    if ((st.st_mode & 07777) != 0700 && fchmod(fd.Get(), 0700) != 0)
        return CFd();
    return fd;
}

struct ClaimFolder {
    CFd fd;
    std::string path;  // with its closing '/'
};

// The claim folder of the input folder held by `inputFd`.
Status OpenClaimFolder(int inputFd, bool create, ClaimFolder* claim) {
    struct stat in;
    if (fstat(inputFd, &in) != 0)
        return FailErrno();
    // The folder that was opened, not what its path names now.
    char* real = realpath(("/proc/self/fd/" + std::to_string(inputFd)).c_str(), nullptr);
    if (!real)
        return FailErrno();
    std::string resolved = real;
    free(real);
    std::string anchor;
    for (std::string p = ParentOf(resolved); resolved != "/"; p = ParentOf(p)) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || st.st_dev != in.st_dev)
            break;
        if (TrustedPath(p, nullptr) == kSuccess) {
            anchor = p;
            break;
        }
        if (p == "/")
            break;
    }
    // An input folder that is itself trusted, and the root of its file
    // system, holds its claim folder.
    if (anchor.empty() && TrustedPath(resolved, nullptr) == kSuccess)
        anchor = resolved;
    if (anchor.empty())
        return Fail(kGenericFailure);
    CFd top(open(anchor.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!top.Valid() || fstat(top.Get(), &st) != 0 || st.st_dev != in.st_dev)
        return Fail(kGenericFailure);
    CFd base = PrivateFolderAt(top.Get(), kClaimFolder, create);
    if (!base.Valid())
        return create ? Fail(kGenericFailure) : Fail(kPathNotFound);
    std::string name = std::to_string(in.st_dev) + "." + std::to_string(in.st_ino);
    claim->fd = PrivateFolderAt(base.Get(), name, create);
    if (!claim->fd.Valid())
        return create ? Fail(kGenericFailure) : Fail(kPathNotFound);
    claim->path = (anchor == "/" ? "" : anchor) + "/" + kClaimFolder + "/" + name + "/";
    return kSuccess;
}

// A lease's break notice is a signal (SIGIO) whose default action would end
// the process; the importer needs no notice, since the writer that breaks
// the lease waits until the claim ends.
void IgnoreLeaseBreaks() {
    static const bool done = [] {
        struct sigaction current {};
        if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            signal(SIGIO, SIG_IGN);
        return true;
    }();
    (void)done;
}

// True when a file that no lease can be taken on (a network file system, or
// a file of another user's for an importer that is not root) was changed in
// the last two seconds: its writer may still be at work.
bool RecentlyChanged(const struct stat& st) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - st.st_mtim.tv_sec < 2;
}

class CPosixClaimedFile : public IClaimedFile {
public:
    CPosixClaimedFile(CFd file, CFd input, ClaimFolder claim, std::string name)
        : m_file(std::move(file)),
          m_input(std::move(input)),
          m_claim(std::move(claim)),
          m_name(std::move(name)) {}

    // A file still held goes back to its input folder, unless a new one of
    // its name arrived meanwhile: then it waits here for the next claim.
    ~CPosixClaimedFile() override {
        if (!m_held)
            return;
        if (renameat2(m_claim.fd.Get(), m_name.c_str(), m_input.Get(), m_name.c_str(),
                      RENAME_NOREPLACE) == 0) {
            fsync(m_input.Get());
            fsync(m_claim.fd.Get());
        }
    }
    CPosixClaimedFile(const CPosixClaimedFile&) = delete;
    CPosixClaimedFile& operator=(const CPosixClaimedFile&) = delete;

    std::string LoadPath() override { return m_claim.path + m_name; }

    Status Read(std::string* content) override { return ReadAllAt(m_file.Get(), content); }
    Status ReadPieces(const std::function<void(const char*, std::size_t)>& take) override {
        return ReadPiecesAt(m_file.Get(), take);
    }

    Status Rewrite(const std::string& content) override {
        struct stat st;
        if (fstat(m_file.Get(), &st) != 0)
            return FailErrno();
        const int dir = m_claim.fd.Get();
        const std::string temp = RewriteCopyName(m_name);
        unlinkat(dir, temp.c_str(), 0);
        CFd out(
            openat(dir, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.Valid())
            return FailErrno();
        Status status = WriteAll(out.Get(), content.data(), content.size());
        if (status == kSuccess && fchmod(out.Get(), OwnMode(st.st_mode)) != 0)
            status = FailErrno();
        if (status == kSuccess && fsync(out.Get()) != 0)
            status = FailErrno();
        if (status == kSuccess && renameat(dir, temp.c_str(), dir, m_name.c_str()) != 0)
            status = FailErrno();
        if (status != kSuccess) {
            unlinkat(dir, temp.c_str(), 0);
            return status;
        }
        fsync(dir);
        m_file = std::move(out);
        return kSuccess;
    }

    Status GetAttributes(std::uint32_t* attributes) override {
        struct stat st;
        if (fstat(m_file.Get(), &st) != 0)
            return FailErrno();
        *attributes = (st.st_mode & S_IWUSR) ? kAttributeNormal : kAttributeReadOnly;
        return kSuccess;
    }

    // The owner's write bit back, and no execute, setuid, setgid or sticky
    // bit left of what the sender gave the file.
    Status ClearReadOnly() override {
        struct stat st;
        if (fstat(m_file.Get(), &st) != 0)
            return FailErrno();
        if (fchmod(m_file.Get(), (st.st_mode & 0666) | S_IWUSR) != 0)
            return FailErrno();
        return kSuccess;
    }

    Status MoveTo(const std::string& target) override {
        if (!m_held)
            return Fail(kFileNotFound);
        struct stat st;
        if (lstat(target.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)))
            return Fail(kAccessDenied);  // Windows replaces neither
        if (renameat(m_claim.fd.Get(), m_name.c_str(), AT_FDCWD, target.c_str()) == 0) {
            Moved(target);
            return kSuccess;
        }
        if (errno != EXDEV)
            return FailPath(target);
        return CopyTo(target);
    }

    Status Remove() override {
        struct stat st;
        if (fstat(m_file.Get(), &st) != 0)
            return FailErrno();
        if (!(st.st_mode & S_IWUSR))
            return Fail(kAccessDenied);
        if (unlinkat(m_claim.fd.Get(), m_name.c_str(), 0) != 0)
            return FailErrno();
        fsync(m_claim.fd.Get());
        m_held = false;
        return kSuccess;
    }

private:
    void Moved(const std::string& target) {
        SyncFolder(target);
        fsync(m_claim.fd.Get());
        m_held = false;
    }

    // Across file systems: a new file of the importer's, from what is held.
    Status CopyTo(const std::string& target) {
        struct stat st;
        if (fstat(m_file.Get(), &st) != 0)
            return FailErrno();
        std::string temp = MoveCopyName(target, static_cast<std::uint32_t>(getpid()));
        unlink(temp.c_str());
        CFd out(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!out.Valid())
            return FailPath(temp);
        Status status = CopyAllAt(m_file.Get(), out.Get());
        if (status == kSuccess && fchmod(out.Get(), OwnMode(st.st_mode)) != 0)
            status = FailErrno();
        if (status == kSuccess && fsync(out.Get()) != 0)
            status = FailErrno();
        if (!out.Close() && status == kSuccess)
            status = FailErrno();
        if (status == kSuccess && rename(temp.c_str(), target.c_str()) != 0)
            status = FailPath(target);
        if (status != kSuccess) {
            unlink(temp.c_str());
            return status;
        }
        SyncFolder(target);
        if (unlinkat(m_claim.fd.Get(), m_name.c_str(), 0) != 0) {
            status = FailErrno();
            unlink(target.c_str());
            return status;
        }
        Moved(target);
        return kSuccess;
    }

    CFd m_file;
    CFd m_input;
    ClaimFolder m_claim;
    std::string m_name;
    bool m_held = true;
};

// The claim itself: one open, checks on what was opened, a lease that no
// writer holds, then the rename into the claim folder and a look that what
// arrived there is what was checked.
Status Claim(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) {
    claimed->reset();
    std::string folder = ParentOf(path);
    std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty())
        return Fail(kFileNotFound);
    CFd input(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!input.Valid())
        return Fail(kPathNotFound);
    CFd file(openat(input.Get(), name.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.Valid())
        return errno == ELOOP ? Fail(kAccessDenied) : FailPath(path);
    struct stat st;
    if (fstat(file.Get(), &st) != 0)
        return FailErrno();
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1)
        return Fail(kAccessDenied);

    ClaimFolder claim;
    if (Status s = OpenClaimFolder(input.Get(), true, &claim))
        return s;
    // One of this name left by an ended run goes first.
    CFd left(openat(claim.fd.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (left.Valid()) {
        struct stat ls;
        if (fstat(left.Get(), &ls) != 0 || !S_ISREG(ls.st_mode))
            return Fail(kAccessDenied);
        *claimed = std::make_unique<CPosixClaimedFile>(std::move(left), std::move(input),
                                                       std::move(claim), name);
        return kSuccess;
    }

    IgnoreLeaseBreaks();
    if (fcntl(file.Get(), F_SETLEASE, F_RDLCK) != 0 &&
        (errno == EAGAIN || errno == EBUSY || RecentlyChanged(st)))
        return Fail(kSharingViolation);
    if (renameat2(input.Get(), name.c_str(), claim.fd.Get(), name.c_str(), RENAME_NOREPLACE) != 0)
        return FailPath(path);
    struct stat arrived, now;
    bool same = fstatat(claim.fd.Get(), name.c_str(), &arrived, AT_SYMLINK_NOFOLLOW) == 0 &&
                arrived.st_dev == st.st_dev && arrived.st_ino == st.st_ino &&
                fstat(file.Get(), &now) == 0 && now.st_nlink == 1;
    // Not flushed: after a power loss the file is in one folder or the
    // other, and either is taken up by the next run.
    auto made = std::make_unique<CPosixClaimedFile>(std::move(file), std::move(input),
                                                    std::move(claim), name);
    if (!same)
        return Fail(kSharingViolation);  // swapped or linked meanwhile: given back
    *claimed = std::move(made);
    return kSuccess;
}

// Files that an ended run left claimed go back to their input folder; a
// ".COPY" of an unfinished rewrite is removed (the claimed file beside it is
// whole, as the rename is the rewrite's last step).
Status Recover(const std::string& folder) {
    CFd input(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!input.Valid())
        return Fail(kPathNotFound);
    ClaimFolder claim;
    if (Status s = OpenClaimFolder(input.Get(), false, &claim))
        return s == kPathNotFound ? kSuccess : s;
    int listing = dup(claim.fd.Get());
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (!dir) {
        if (listing >= 0)
            close(listing);
        return FailErrno();
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".COPY") == 0) {
            unlinkat(claim.fd.Get(), name.c_str(), 0);
            continue;
        }
        renameat2(claim.fd.Get(), name.c_str(), input.Get(), name.c_str(), RENAME_NOREPLACE);
    }
    fsync(claim.fd.Get());
    fsync(input.Get());
    return kSuccess;
}

// ------------------------------------------------------------------ files

class CPosixFileSystem : public IFileSystem {
public:
    Status ListFiles(const std::string& folder, const std::string& pattern, bool includeFolders,
                     std::vector<FileEntry>* entries) override {
        entries->clear();
        DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
        if (!dir)
            return errno == ENOENT ? Fail(kPathNotFound) : FailErrno();
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || !MatchWildcard(pattern, name))
                continue;
            // Relative to the open folder, so that a name whose full path
            // is longer than PATH_MAX is still listed, as Windows lists it.
            struct stat st;
            if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            struct stat target;
            bool linkToFolder = S_ISLNK(st.st_mode) &&
                                fstatat(dirfd(dir), e->d_name, &target, 0) == 0 &&
                                S_ISDIR(target.st_mode);
            std::uint32_t attributes = AttributesOf(st, linkToFolder);
            if ((attributes & kAttributeDirectory) && !includeFolders)
                continue;
            entries->push_back({name, attributes});
        }
        closedir(dir);
        return kSuccess;
    }

    Status GetAttributes(const std::string& path, std::uint32_t* attributes) override {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return FailPath(path);
        struct stat target;
        bool linkToFolder =
            S_ISLNK(st.st_mode) && stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        *attributes = AttributesOf(st, linkToFolder);
        return kSuccess;
    }

    // Works on the entry opened once, without following a link: a file
    // swapped for a link between a check and the change cannot lend the
    // change to the link's target.
    Status SetAttributes(const std::string& path, std::uint32_t attributes) override {
        CFd entry(open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!entry.Valid())
            return FailPath(path);
        struct stat st;
        if (fstat(entry.Get(), &st) != 0)
            return FailErrno();
        if (S_ISLNK(st.st_mode))
            return kSuccess;  // chmod would change the target
        // A second name may belong to a file of anyone's.
        if (S_ISREG(st.st_mode) && st.st_nlink != 1)
            return Fail(kAccessDenied);
        mode_t mode = st.st_mode & 07777;
        mode = (attributes & kAttributeReadOnly) ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)
                                                 : mode | S_IWUSR;
        // The held entry itself, through its descriptor's name in /proc.
        std::string held = "/proc/self/fd/" + std::to_string(entry.Get());
        if (chmod(held.c_str(), mode) != 0)
            return FailErrno();
        return kSuccess;
    }

    Status Relocate(const std::string& from, const std::string& to, bool replaceExisting) override {
        struct stat st;
        if (lstat(from.c_str(), &st) != 0)
            return FailPath(from);
        if (lstat(to.c_str(), &st) == 0) {
            if (!replaceExisting)
                return Fail(kAlreadyExists);
            // Windows replaces neither a read-only file nor a folder.
            if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR))
                return Fail(kAccessDenied);
        }
        int rc = replaceExisting
                     ? rename(from.c_str(), to.c_str())
                     : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        if (rc == 0) {
            SyncFolder(to);
            SyncFolder(from);
            return kSuccess;
        }
        if (errno == EEXIST)
            return Fail(kAlreadyExists);
        if (errno != EXDEV)
            return FailPath(to);  // the source exists, so a missing part is the target's
        return CopyAcross(from, to, replaceExisting);
    }

    Status RemoveFile(const std::string& path) override {
        std::uint32_t attributes = 0;
        if (Status s = GetAttributes(path, &attributes))
            return s;
        if (attributes & (kAttributeReadOnly | kAttributeDirectory))
            return Fail(kAccessDenied);
        if (unlink(path.c_str()) != 0)
            return FailErrno();
        return kSuccess;
    }

    Status CreateFolder(const std::string& path) override {
        if (mkdir(path.c_str(), 0777) != 0)
            return errno == ENOENT || errno == ENOTDIR ? Fail(kPathNotFound) : FailErrno();
        return kSuccess;
    }

    bool Exists(const std::string& path) override {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    Status ReadWhole(const std::string& path, std::string* content) override {
        Status status = ReadContent(path, content, false);
        return status == kSuccess ? status : Fail(status);
    }

    Status ReplaceContent(const std::string& path, const std::string& content,
                          const std::string& temporaryPath, bool readableByAll) override {
        return ReplaceWhole(path, content, temporaryPath, readableByAll ? 0644 : 0600);
    }

    Status CheckTrusted(const std::string& path, std::string* reason) override {
        Status status = TrustedPath(path, reason);
        return status == kSuccess ? status : Fail(status);
    }

    Status ClaimFile(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) override {
        return Claim(path, claimed);
    }

    Status RecoverClaims(const std::string& folder) override { return Recover(folder); }

private:
    // The seam's attributes of what lstat saw.
    static std::uint32_t AttributesOf(const struct stat& st, bool linkToFolder) {
        if (S_ISLNK(st.st_mode))
            return kAttributeReparsePoint | (linkToFolder ? kAttributeDirectory : 0);
        std::uint32_t a = 0;
        if (S_ISDIR(st.st_mode))
            a |= kAttributeDirectory;
        if (!(st.st_mode & S_IWUSR))
            a |= kAttributeReadOnly;
        return a ? a : kAttributeNormal;
    }

    // The move across file systems: copy into a temporary name beside the
    // target, flush, put it in place, and only then remove the source. Any
    // failure removes the partial copy and leaves the source as it was.
    static Status CopyAcross(const std::string& from, const std::string& to, bool replaceExisting) {
        int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (in < 0 && errno == ELOOP)
            return MoveLinkAcross(from, to, replaceExisting);
        if (in < 0)
            return FailErrno();
        struct stat st;
        if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(in);
            return Fail(kNotSameDevice);  // folders are not copied across devices
        }
        std::string temp = MoveCopyName(to, static_cast<std::uint32_t>(getpid()));
        int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (out < 0) {
            Status s = FailErrno();
            close(in);
            return s;
        }
        Status status = kSuccess;
        char buffer[1 << 16];
        for (;;) {
            ssize_t n = read(in, buffer, sizeof buffer);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                status = FailErrno();
                break;
            }
            status = WriteAll(out, buffer, static_cast<size_t>(n));
            if (status != kSuccess)
                break;
        }
        close(in);
        if (status == kSuccess && fchmod(out, OwnMode(st.st_mode)) != 0)
            status = FailErrno();
        if (status == kSuccess && fsync(out) != 0)
            status = FailErrno();
        if (close(out) != 0 && status == kSuccess)
            status = FailErrno();
        if (status == kSuccess) {
            int rc = replaceExisting ? rename(temp.c_str(), to.c_str())
                                     : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(),
                                                 RENAME_NOREPLACE);
            if (rc != 0)
                status = errno == EEXIST ? Fail(kAlreadyExists) : FailErrno();
        }
        if (status != kSuccess) {
            unlink(temp.c_str());
            return status;
        }
        SyncFolder(to);
        if (unlink(from.c_str()) != 0) {
            status = FailErrno();
            unlink(to.c_str());
            return status;
        }
        SyncFolder(from);
        return kSuccess;
    }
};

// ---------------------------------------------------------- instance lock

// A held lock is its open lock file: closing it drops the flock.
class CHeldLockFile : public IHeldLock {
public:
    explicit CHeldLockFile(CFd fd) : m_fd(std::move(fd)) {}

private:
    CFd m_fd;
};

// The lock file belongs to the importer's user and nobody else may open it:
// anyone who can open a file can flock it, and so block every run. A link in
// its place, or a file that another user made beforehand, is removed and a
// private one made instead (the lock folder has the sticky bit, so only its
// owner or root can do that; anyone else gets status 5).
class CPosixInstanceLock : public IInstanceLock {
public:
    Status Acquire(const std::string& name, std::unique_ptr<IHeldLock>* held) override {
        held->reset();
        struct stat st;
        const char* folder =
            stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) ? "/run/lock" : "/tmp";
        std::string path = std::string(folder) + "/" + name + ".lock";
        for (int attempt = 0; attempt < 4; ++attempt) {
            CFd fd(open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
            if (!fd.Valid() && errno == ENOENT) {
                fd = CFd(
                    open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
                if (!fd.Valid() && errno == EEXIST)
                    continue;  // another instance made it in between
            }
            if (!fd.Valid()) {
                if (errno != ELOOP)
                    return FailErrno();
                if (lstat(path.c_str(), &st) != 0 || !RemovePlanted(path, st))
                    return Fail(kAccessDenied);
                continue;
            }
            if (fstat(fd.Get(), &st) != 0)
                return FailErrno();
            if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) ||
                st.st_nlink != 1) {
                if (!RemovePlanted(path, st))
                    return Fail(kAccessDenied);
                continue;
            }
            if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
                return errno == EWOULDBLOCK ? Fail(kAlreadyExists) : FailErrno();
            *held = std::make_unique<CHeldLockFile>(std::move(fd));
            return kSuccess;
        }
        return Fail(kAccessDenied);
    }

private:
    // Removes what lies at `path` when it is still the entry described by
    // `seen` (not a lock that another instance has just put there).
    static bool RemovePlanted(const std::string& path, const struct stat& seen) {
        struct stat now;
        if (lstat(path.c_str(), &now) != 0)
            return errno == ENOENT;
        if (now.st_dev != seen.st_dev || now.st_ino != seen.st_ino)
            return true;  // replaced meanwhile: look again
        return unlink(path.c_str()) == 0 || errno == ENOENT;
    }
};

// -------------------------------------------------------- dynamic library

class CPosixDynamicLibrary : public IDynamicLibrary {
public:
    Status Load(const std::string& path, LibraryHandle* handle) override {
        *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (*handle)
            return kSuccess;
        return Fail(access(path.c_str(), F_OK) == 0 ? kBadExeFormat : kModNotFound);
    }
    LibrarySymbol FindSymbol(LibraryHandle handle, const std::string& name) override {
        if (!handle) {
            Fail(kInvalidHandle);
            return nullptr;
        }
        void* symbol = dlsym(handle, name.c_str());
        if (!symbol)
            Fail(kProcNotFound);
        return reinterpret_cast<LibrarySymbol>(symbol);
    }
    Status Free(LibraryHandle handle) override {
        if (!handle)
            return Fail(kInvalidHandle);
        return dlclose(handle) == 0 ? kSuccess : Fail(kInvalidHandle);
    }
};

// ----------------------------------------------------------------- system

class CPosixSystem : public ISystem {
public:
    std::string ModuleFileName() override {
        char path[4096];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        if (n < 0)
            return "";
        return std::string(path, static_cast<size_t>(n));
    }

    std::string ErrorText(Status code) override {
        for (const ErrnoStatus& e : kErrnoTable) {
            if (e.status != code)
                continue;
            char buffer[256];
            return std::string(strerror_r(e.error, buffer, sizeof buffer)) + "\n";
        }
        return "";
    }

    Status LastError() override { return t_lastError; }
    void StoreLastError(Status code) override { t_lastError = code; }

    std::string ExpandEnvironment(const std::string& text) override {
        std::string out;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t open = text.find('%', pos);
            size_t close = open == std::string::npos ? open : text.find('%', open + 1);
            if (close == std::string::npos) {
                out += text.substr(pos);
                break;
            }
            out += text.substr(pos, open - pos);
            std::string name = text.substr(open + 1, close - open - 1);
            const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
            if (value) {
                out += value;
                pos = close + 1;
            } else {  // unknown: keep the first '%' and look again from the second
                out += text.substr(open, close - open);
                pos = close;
            }
        }
        return out;
    }

    LocalTime Now() override {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        tm t;
        localtime_r(&ts.tv_sec, &t);
        return LocalTime{
            t.tm_year + 1900, t.tm_mon + 1, t.tm_wday, t.tm_mday,
            t.tm_hour,        t.tm_min,     t.tm_sec,  static_cast<int>(ts.tv_nsec / 1000000)};
    }

    std::uint32_t CurrentProcessId() override { return static_cast<std::uint32_t>(getpid()); }

    // kill with no signal: ESRCH means no such process; EPERM means one that
    // belongs to someone else. An id beyond pid_t would name a process group.
    bool IsProcessAlive(std::uint32_t pid) override {
        if (pid == 0 || pid > static_cast<std::uint32_t>(INT32_MAX))
            return false;
        return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    }

    // No COM on Linux: the ADO providers need no apartment.
    void InitializeCom() override {}
    void UninitializeCom() override {}
};

}  // namespace

// -------------------------------------------------------- default instance

CPlatform& DefaultPlatform() {
    static CPosixRegistry registry;
    static CPosixProfile profile;
    static CPosixFileSystem files;
    static CPosixInstanceLock locks;
    static CPosixDynamicLibrary libraries;
    static CPosixSystem system;
    static CPlatform platform{registry, profile, files, locks, libraries, system};
    return platform;
}

char PathSeparator() {
    return '/';
}

std::size_t MaxPathLength() {
    return PATH_MAX - 1;
}

std::string LibraryFileName(const std::string& stem) {
    return "lib" + stem + ".so";
}

bool IsLeadByte(char) {
    return false;
}

}  // namespace Platform
