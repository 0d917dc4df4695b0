// Loaded into the real program with LD_PRELOAD by the tests only: kills the
// process with SIGKILL at a chosen file operation, so that a test reaches a
// crash point on purpose instead of by chance. Nothing of it is in the
// shipping binary.
//
// FERROWIN_KILL_AT holds one point, or several separated by ';', each
// "<family>:<path part>:<n>": the n-th call of the family whose path (either
// path of a rename) contains the part kills the process before the call runs.
// Families, one row each in kFamilies:
//   rename   rename, renameat, renameat2
//   unlink   unlink, unlinkat
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

struct KillPoint {
    std::string family;
    std::string part;
    int nth;
    int seen = 0;
};

std::mutex g_lock;
std::vector<KillPoint>* g_points;

std::vector<KillPoint>& Points() {
    if (!g_points) {
        g_points = new std::vector<KillPoint>;
        const char* spec = getenv("FERROWIN_KILL_AT");
        std::string all = spec ? spec : "";
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find(';', start);
            std::string one = all.substr(start, end == std::string::npos ? end : end - start);
            size_t a = one.find(':'), b = one.rfind(':');
            if (a != std::string::npos && b != a)
                g_points->push_back(
                    {one.substr(0, a), one.substr(a + 1, b - a - 1), atoi(one.c_str() + b + 1)});
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    return *g_points;
}

// Kills the process when this call is one that a point names.
void Check(const char* family, const char* path, const char* other) {
    std::lock_guard<std::mutex> lock(g_lock);
    for (KillPoint& point : Points()) {
        if (point.family != family)
            continue;
        bool matches = (path && strstr(path, point.part.c_str())) ||
                       (other && strstr(other, point.part.c_str()));
        if (matches && ++point.seen == point.nth)
            raise(SIGKILL);
    }
}

// The path that a call relative to the folder `dir` names, so that a point
// matches *at() calls by their folder too.
std::string FullPath(int dir, const char* path) {
    if (!path || path[0] == '/' || dir == AT_FDCWD)
        return path ? path : "";
    char folder[4096];
    ssize_t n =
        readlink(("/proc/self/fd/" + std::to_string(dir)).c_str(), folder, sizeof folder - 1);
    if (n <= 0)
        return path;
    return std::string(folder, static_cast<size_t>(n)) + "/" + path;
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int rename(const char* from, const char* to) {
    Check("rename", from, to);
    static auto next = Next<int (*)(const char*, const char*)>("rename");
    return next(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    Check("rename", FullPath(fromDir, from).c_str(), FullPath(toDir, to).c_str());
    static auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
    return next(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
    Check("rename", FullPath(fromDir, from).c_str(), FullPath(toDir, to).c_str());
    static auto next = Next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return next(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    Check("unlink", path, nullptr);
    static auto next = Next<int (*)(const char*)>("unlink");
    return next(path);
}

int unlinkat(int dir, const char* path, int flags) {
    Check("unlink", FullPath(dir, path).c_str(), nullptr);
    static auto next = Next<int (*)(int, const char*, int)>("unlinkat");
    return next(dir, path, flags);
}
}
