// The platform seam on Linux.
//
//   Status translation   errno to Win32 status, the thread's last error
//   Registry             regedit file named by KESTRAFOLD_REGISTRY
//   Profile              INI files read and written whole
//   Files                opendir listing, rename with a copy across devices
//   Instance lock        flock on a file in /run/lock (or /tmp)
//   Dynamic library      dlopen
//   System               /proc/self/exe, strerror, %VAR%, localtime_r, no COM
//   Default instance
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "Platform/Platform.h"
#include "Platform/ProfileText.h"
#include "Platform/RegistryHive.h"
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

Status TranslateErrno(int error) {
    for (const ErrnoStatus& e : kErrnoTable)
        if (e.error == error)
            return e.status;
    return kGenericFailure;
}

Status Fail(Status status) {
    t_lastError = status;
    return status;
}

Status FailErrno() {
    return Fail(TranslateErrno(errno));
}

// The folder part of a path, without its closing separator ("" for a bare
// name).
std::string ParentOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    size_t cut = path.rfind('/');
    if (cut == std::string::npos)
        return "";
    return cut == 0 ? "/" : path.substr(0, cut);
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

Status FailPath(const std::string& path) {
    return Fail(PathStatus(path, errno));
}

// Owner of a file descriptor; closing twice is harmless.
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
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
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

// Reads a whole regular file. Returns the status without touching the
// thread's last error, so that the registry and profile readers, which
// report through their results, leave it alone.
Status ReadWhole(const std::string& path, std::string* content) {
    // Non-blocking, so that a FIFO cannot hold the open forever.
    CFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid())
        return PathStatus(path, errno);
    struct stat st;
    if (fstat(fd.Get(), &st) != 0)
        return TranslateErrno(errno);
    if (!S_ISREG(st.st_mode))
        return kAccessDenied;
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(fd.Get(), buffer, sizeof buffer);
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
    return ReadWhole(path, text) == kSuccess;
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

// Flushes a folder, so that a rename inside it survives a power loss.
void SyncFolder(const std::string& path) {
    std::string parent = ParentOf(path);
    CFd dir(open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid())
        fsync(dir.Get());
}

// Replaces `path` by `text` through `temp` and a rename, so that a reader
// never sees half a file and a crash leaves the old or the new content.
Status ReplaceWhole(const std::string& path, const std::string& text, const std::string& temp) {
    struct stat st;
    bool existed = lstat(path.c_str(), &st) == 0;
    if (existed && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)))
        return Fail(kAccessDenied);
    unlink(temp.c_str());  // never write through a link left at the temporary name
    CFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.Valid())
        return FailPath(temp);
    if (existed)
        fchmod(fd.Get(), st.st_mode & 07777);
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

class CRegistryFile : public IHiveBacking {
public:
    Status Load(CRegistryStore* store) override {
        std::string text;
        if (!ReadWholeFile(Path(), &text)) {
            *store = CRegistryStore{};
            return kSuccess;
        }
        *store = CRegistryStore::Parse(text, nullptr);
        return kSuccess;
    }
    Status Save(const CRegistryStore& store) override {
        return WriteWholeFile(Path(), store.Serialize());
    }
    bool Writable() override {
        std::string path = Path();
        if (access(path.c_str(), F_OK) == 0)
            return access(path.c_str(), W_OK) == 0;
        std::string folder = path.substr(0, path.rfind('/') + 1);
        return access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
    }

private:
    static std::string Path() {
        const char* env = std::getenv("KESTRAFOLD_REGISTRY");
        return env && *env ? env : "/etc/kestrafold/registry.reg";
    }
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

// ------------------------------------------------------------------ files

class CPosixFileSystem : public IFileSystem {
public:
    Status ListFiles(const std::string& folder, const std::string& pattern, bool includeFolders,
                     std::vector<FileEntry>* entries) override {
        entries->clear();
        DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
        if (!dir)
            return errno == ENOENT ? Fail(kPathNotFound) : FailErrno();
        std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || !MatchWildcard(pattern, name))
                continue;
            std::uint32_t attributes = 0;
            if (GetAttributes(prefix + name, &attributes) != kSuccess)
                continue;
            if ((attributes & kAttributeDirectory) && !includeFolders)
                continue;
            entries->push_back({name, attributes});
        }
        closedir(dir);
        return kSuccess;
    }

    Status GetAttributes(const std::string& path, std::uint32_t* attributes) override {
        struct stat st;
        if (stat(path.c_str(), &st) != 0)
            return FailPath(path);
        std::uint32_t a = 0;
        if (S_ISDIR(st.st_mode))
            a |= kAttributeDirectory;
        if (!(st.st_mode & S_IWUSR))
            a |= kAttributeReadOnly;
        *attributes = a ? a : kAttributeNormal;
        return kSuccess;
    }

    Status SetAttributes(const std::string& path, std::uint32_t attributes) override {
        struct stat st;
        if (stat(path.c_str(), &st) != 0)
            return FailPath(path);
        mode_t mode = st.st_mode & 07777;
        mode = (attributes & kAttributeReadOnly) ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)
                                                 : mode | S_IWUSR;
        if (chmod(path.c_str(), mode) != 0)
            return FailErrno();
        return kSuccess;
    }

    Status MoveFile(const std::string& from, const std::string& to, bool replaceExisting) override {
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
        if (rc == 0)
            return kSuccess;
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

    Status ReadFile(const std::string& path, std::string* content) override {
        Status status = ReadWhole(path, content);
        return status == kSuccess ? status : Fail(status);
    }

    Status ReplaceFile(const std::string& path, const std::string& content,
                       const std::string& temporaryPath) override {
        return ReplaceWhole(path, content, temporaryPath);
    }

private:
    // The move across file systems: copy into a temporary name beside the
    // target, flush, put it in place, and only then remove the source. Any
    // failure removes the partial copy and leaves the source as it was.
    static Status CopyAcross(const std::string& from, const std::string& to, bool replaceExisting) {
        int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return FailErrno();
        struct stat st;
        if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(in);
            return Fail(kNotSameDevice);  // folders are not copied across devices
        }
        std::string temp = to + ".mv" + std::to_string(getpid());
        int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
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
        if (unlink(from.c_str()) != 0) {
            status = FailErrno();
            unlink(to.c_str());
            return status;
        }
        return kSuccess;
    }
};

// ---------------------------------------------------------- instance lock

class CFileDescriptor : public IHeldLock {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() override {
        if (m_fd >= 0)
            close(m_fd);  // closing drops the flock
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

private:
    int m_fd;
};

class CPosixInstanceLock : public IInstanceLock {
public:
    Status Acquire(const std::string& name, std::unique_ptr<IHeldLock>* held) override {
        held->reset();
        struct stat st;
        const char* folder =
            stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) ? "/run/lock" : "/tmp";
        std::string path = std::string(folder) + "/" + name + ".lock";
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0)
            return FailErrno();
        fchmod(fd, 0666);  // other users' instances must be able to open it too
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            Status s = errno == EWOULDBLOCK ? Fail(kAlreadyExists) : FailErrno();
            close(fd);
            return s;
        }
        *held = std::make_unique<CFileDescriptor>(fd);
        return kSuccess;
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
    void SetLastError(Status code) override { t_lastError = code; }

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

std::string LibraryFileName(const std::string& stem) {
    return "lib" + stem + ".so";
}

bool IsLeadByte(char) {
    return false;
}

}  // namespace Platform
