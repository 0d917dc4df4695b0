// An in-memory platform for tests: every concern of the seam, with faults that
// a test injects in one line and a record of the calls it saw.
//
//   CFakePlatform fake;
//   fake.PutFile("/in/a.csv", "data");
//   fake.FailCall(Platform::FakeCall::Relocate, "/in/a.csv", Platform::kSharingViolation);
//   RunSomething(fake.Get());
//   EXPECT_TRUE(fake.HasFile("/in/a.csv"));
//
// A claimed file stays at its path; its steps are the path calls above, so
// that their faults apply to it too.
//
// Thread rule: one thread at a time uses a fake and the platform it hands out.
#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/Platform.h"
#include "Platform/RegistryHive.h"

namespace Platform {

// The seam calls whose failure a test can inject.
enum class FakeCall {
    OpenKey,
    CreateKey,
    QueryValue,
    SetValue,
    WriteString,
    ListFiles,
    GetAttributes,
    SetAttributes,
    Relocate,
    RemoveFile,
    CreateFolder,
    ReadWhole,
    ReplaceContent,
    CheckTrusted,  // the path, or "registry" for the hive's store
    ClaimFile,     // kSharingViolation: a file still being written
    Acquire,
    Load,
};

class CFakePlatform {
public:
    CFakePlatform();
    ~CFakePlatform();
    CFakePlatform(const CFakePlatform&) = delete;
    CFakePlatform& operator=(const CFakePlatform&) = delete;

    CPlatform& Get() { return *m_platform; }

    // Registry: the hive as regedit text, and whether it may be changed.
    void SetRegistryText(const std::string& text);
    std::string RegistryText() const;
    void SetRegistryWritable(bool writable);

    // Files and folders. Putting a file creates its missing parent folders.
    void PutFile(const std::string& path, const std::string& content, std::uint32_t attributes = 0);
    void PutFolder(const std::string& path);
    bool HasFile(const std::string& path) const;
    std::string FileContent(const std::string& path) const;

    // Libraries that Load can find, by path, with their exports.
    void AddLibrary(const std::string& path, std::map<std::string, LibrarySymbol> exports);
    bool IsLoaded(const std::string& path) const;

    // Another process holds the named lock.
    void HoldLock(const std::string& name);

    void SetModuleFileName(const std::string& path);
    void SetEnvironment(const std::string& name, const std::string& value);
    void SetTime(const LocalTime& time);
    // Another process with id `pid` is running (or, with false, has ended).
    // The fake's own id is kFakeProcessId and is always running.
    void SetProcessAlive(std::uint32_t pid, bool alive);
    static constexpr std::uint32_t kFakeProcessId = 4242;

    // Makes `call` fail with `status` when its first path argument (the value
    // name for registry queries, the lock name for Acquire) equals `path`; an
    // empty `path` matches every argument. `times` < 0 fails for ever. A
    // failing call leaves everything as it was; the calls that set the
    // thread's last error on Windows (all but the registry's) set it here too.
    void FailCall(FakeCall call, const std::string& path, Status status, int times = -1);

    // Every call seen, as "Call argument" or "Call from -> to", in order.
    const std::vector<std::string>& Calls() const { return m_calls; }

    // Used by the fake concerns.
    struct Node {
        bool folder = false;
        std::string content;
        std::uint32_t attributes = 0;
    };
    struct Library {
        std::map<std::string, LibrarySymbol> exports;
        int loads = 0;
    };
    bool Injected(FakeCall call, const std::string& path, Status* status);
    void Record(const std::string& entry) { m_calls.push_back(entry); }

    std::map<std::string, Node> m_nodes;
    std::map<std::string, Library> m_libraries;
    std::set<std::string> m_locks;
    CRegistryStore m_hive;
    bool m_registryWritable = true;
    std::string m_moduleFileName = "/opt/kestrafold/bin/ferrowin";
    std::map<std::string, std::string> m_environment;
    LocalTime m_time{2026, 12, 3, 9, 10, 11, 12, 345};
    Status m_lastError = kSuccess;
    std::uint32_t m_processId = kFakeProcessId;
    std::set<std::uint32_t> m_liveProcesses;

private:
    struct Fault {
        FakeCall call;
        std::string path;
        Status status;
        int times;
    };
    std::vector<Fault> m_faults;
    std::vector<std::string> m_calls;
    struct Concerns;
    std::unique_ptr<Concerns> m_concerns;
    std::unique_ptr<CPlatform> m_platform;
};

}  // namespace Platform
