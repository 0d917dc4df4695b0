// Process and system concern: module path, error texts, the thread's last
// error, environment expansion, local time and the thread's COM apartment.
#pragma once
#include <cstdint>
#include <string>

#include "Platform/Status.h"

namespace Platform {

// SYSTEMTIME fields.
struct LocalTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0;
    int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Thread rule: safe to call from several threads at once. The last error and
// the COM apartment belong to the calling thread.
class ISystem {
public:
    virtual ~ISystem() = default;

    // GetModuleFileNameA of the program itself: its full path, or "" when it
    // cannot be read.
    virtual std::string ModuleFileName() = 0;

    // FormatMessageA from the system table: the text for `code` with its
    // closing line break (CR LF), or "" when the system has none.
    virtual std::string ErrorText(Status code) = 0;

    // The calling thread's last error (GetLastError and SetLastError on
    // Windows). Every seam call that fails stores its status here.
    virtual Status LastError() = 0;
    virtual void StoreLastError(Status code) = 0;

    // ExpandEnvironmentStringsA: each %NAME% of a set variable is replaced by
    // its value; unknown names and a lone '%' stay as written.
    virtual std::string ExpandEnvironment(const std::string& text) = 0;

    // GetLocalTime.
    virtual LocalTime Now() = 0;

    // GetCurrentProcessId: the id of this process.
    virtual std::uint32_t CurrentProcessId() = 0;

    // Whether a process with id `pid` is running now, whoever owns it: true
    // for this process, false for 0 and for an id that no running process
    // has. A process that ended may have left its id to a new one, so true
    // means only that the id is in use.
    virtual bool IsProcessAlive(std::uint32_t pid) = 0;

    // CoInitialize(NULL) for the calling thread (apartment model); the result
    // is not reported. Only Windows has COM: elsewhere both calls do nothing.
    virtual void InitializeCom() = 0;
    // CoUninitialize, once for each InitializeCom.
    // REQUIRES: the calling thread called InitializeCom more often than this.
    virtual void UninitializeCom() = 0;
};

}  // namespace Platform
