// The platform seam on Windows: each concern is the Win32 call of the same
// name, with the system's statuses passed through.
//
//   Registry          RegOpenKeyExA and friends, with the caller's access mask
//   Profile           GetPrivateProfileStringA, WritePrivateProfileStringA
//   Files             Win32FileSystem.cpp
//   Instance lock     a named mutex with a null DACL
//   Dynamic library   LoadLibraryA, GetProcAddress, FreeLibrary
//   System            GetModuleFileNameA, FormatMessageA, GetLastError,
//                     ExpandEnvironmentStringsA, GetLocalTime, CoInitialize
//   Default instance
#include "Platform/Win32/Win32Api.h"
// After the Win32 headers.
#include <objbase.h>

#include <vector>

#include "Platform/Platform.h"
#include "Platform/Win32/Win32FileSystem.h"

namespace Platform {

namespace {

using namespace Win32;

// --------------------------------------------------------------- registry

// The seam names HKEY_LOCAL_MACHINE by its 32-bit value; on 64-bit Windows
// the predefined handle is that value sign-extended.
HKEY ToHkey(RegKey key) {
    if (key == kHKeyLocalMachine)
        return HKEY_LOCAL_MACHINE;
    return reinterpret_cast<HKEY>(key);
}

class CWin32Registry : public IRegistry {
public:
    // The registry is the system's own and guarded by its access lists.
    Status CheckTrusted(std::string*) override { return kSuccess; }

    Status OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                   RegKey* key) override {
        HKEY opened = nullptr;
        LONG status = RegOpenKeyExA(ToHkey(parent), subKey.c_str(), 0, access, &opened);
        if (status == ERROR_SUCCESS)
            *key = reinterpret_cast<RegKey>(opened);
        return static_cast<Status>(status);
    }

    Status CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey* key,
                     std::uint32_t* disposition) override {
        HKEY opened = nullptr;
        DWORD how = 0;
        LONG status = RegCreateKeyExA(ToHkey(parent), subKey.c_str(), 0, nullptr, 0, access,
                                      nullptr, &opened, &how);
        if (status != ERROR_SUCCESS)
            return static_cast<Status>(status);
        *key = reinterpret_cast<RegKey>(opened);
        if (disposition)
            *disposition = how;
        return kSuccess;
    }

    Status CloseKey(RegKey key) override { return static_cast<Status>(RegCloseKey(ToHkey(key))); }

    Status QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type, void* data,
                      std::uint32_t* size) override {
        // DWORD is unsigned long: the same 32 bits, another type.
        DWORD storedType = type ? *type : 0;
        DWORD bytes = size ? *size : 0;
        LONG status =
            RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, type ? &storedType : nullptr,
                             static_cast<BYTE*>(data), size ? &bytes : nullptr);
        if (type && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA))
            *type = storedType;
        if (size && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA))
            *size = bytes;
        return static_cast<Status>(status);
    }

    Status SetValue(RegKey key, const std::string& valueName, std::uint32_t type, const void* data,
                    std::uint32_t size) override {
        return static_cast<Status>(RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type,
                                                  static_cast<const BYTE*>(data), size));
    }
};

// ---------------------------------------------------------------- profile

class CWin32Profile : public IProfile {
public:
    std::uint32_t GetString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, std::uint32_t size, const std::string& path) override {
        if (!buffer || size == 0)
            return 0;
        return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path.c_str());
    }

    bool WriteString(const char* section, const char* key, const char* value,
                     const std::string& path) override {
        return WritePrivateProfileStringA(section, key, value, path.c_str()) != 0;
    }
};

// ---------------------------------------------------------- instance lock

// The mutex stays owned by this process until the holder goes; the system
// releases it too when the process dies.
class CHeldMutex : public IHeldLock {
public:
    explicit CHeldMutex(CKernelHandle mutex) : m_mutex(std::move(mutex)) {}
    ~CHeldMutex() override {
        ReleaseMutex(m_mutex.Get());
        m_mutex.Close();
    }
    CHeldMutex(const CHeldMutex&) = delete;
    CHeldMutex& operator=(const CHeldMutex&) = delete;

private:
    CKernelHandle m_mutex;
};

class CWin32InstanceLock : public IInstanceLock {
public:
    Status Acquire(const std::string& name, std::unique_ptr<IHeldLock>* held) override {
        held->reset();
        // A mutex that can be opened belongs to a running instance.
        CKernelHandle running(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
        if (running.Valid())
            return Fail(kAlreadyExists);

        // A null DACL, so that an instance under any account can open it.
        SECURITY_DESCRIPTOR descriptor;
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
            return Fail(LastStatus());
        SECURITY_ATTRIBUTES attributes;
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
        CKernelHandle mutex(CreateMutexA(&attributes, TRUE, name.c_str()));
        if (!mutex.Valid())
            return Fail(LastStatus());
        // Another process made it between the open and the create: the
        // initial ownership was not granted, so it is theirs.
        if (GetLastError() == ERROR_ALREADY_EXISTS)
            return Fail(kAlreadyExists);
        *held = std::make_unique<CHeldMutex>(std::move(mutex));
        return kSuccess;
    }
};

// -------------------------------------------------------- dynamic library

class CWin32DynamicLibrary : public IDynamicLibrary {
public:
    Status Load(const std::string& path, LibraryHandle* handle) override {
        *handle = LoadLibraryA(path.c_str());
        return *handle ? kSuccess : Fail(LastStatus());
    }

    LibrarySymbol FindSymbol(LibraryHandle handle, const std::string& name) override {
        if (!handle) {
            Fail(kInvalidHandle);
            return nullptr;
        }
        FARPROC symbol = GetProcAddress(static_cast<HMODULE>(handle), name.c_str());
        // FARPROC and LibrarySymbol are both plain function pointers.
        return reinterpret_cast<LibrarySymbol>(reinterpret_cast<void (*)()>(symbol));
    }

    Status Free(LibraryHandle handle) override {
        if (!handle)
            return Fail(kInvalidHandle);
        return FreeLibrary(static_cast<HMODULE>(handle)) ? kSuccess : Fail(LastStatus());
    }
};

// ----------------------------------------------------------------- system

class CWin32System : public ISystem {
public:
    std::string ModuleFileName() override {
        std::vector<char> path(MAX_PATH);
        for (;;) {
            DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (n == 0)
                return "";
            if (n < path.size())
                return std::string(path.data(), n);
            path.resize(path.size() * 2);  // cut: try a larger buffer
        }
    }

    std::string ErrorText(Status code) override {
        char* text = nullptr;
        // FORMAT_MESSAGE_ALLOCATE_BUFFER | IGNORE_INSERTS | FROM_SYSTEM, in
        // the user's default language.
        DWORD n = FormatMessageA(0x1300, nullptr, code, 0x400, reinterpret_cast<char*>(&text), 0,
                                 nullptr);
        std::string result = n && text ? std::string(text, n) : std::string();
        if (text)
            LocalFree(text);
        return result;
    }

    Status LastError() override { return GetLastError(); }
    void StoreLastError(Status code) override { ::SetLastError(code); }

    std::string ExpandEnvironment(const std::string& text) override {
        DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
        for (int attempt = 0; needed > 0 && attempt < 3; ++attempt) {
            std::vector<char> out(needed);
            DWORD n = ExpandEnvironmentStringsA(text.c_str(), out.data(), needed);
            if (n > 0 && n <= needed)
                return std::string(out.data());
            needed = n;  // a variable changed in between: grow and try again
        }
        return text;
    }

    LocalTime Now() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return LocalTime{t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
                         t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
    }

    std::uint32_t CurrentProcessId() override { return GetCurrentProcessId(); }

    // A process that can be opened, or that exists but may not be opened by
    // us, is alive until it has an exit code.
    bool IsProcessAlive(std::uint32_t pid) override {
        if (pid == 0)
            return false;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process)
            return GetLastError() == ERROR_ACCESS_DENIED;
        DWORD code = 0;
        bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
        CloseHandle(process);
        return alive;
    }

    void InitializeCom() override { CoInitialize(nullptr); }
    void UninitializeCom() override { CoUninitialize(); }
};

}  // namespace

// -------------------------------------------------------- default instance

CPlatform& DefaultPlatform() {
    static CWin32Registry registry;
    static CWin32Profile profile;
    static Win32::CWin32FileSystem files;
    static CWin32InstanceLock locks;
    static CWin32DynamicLibrary libraries;
    static CWin32System system;
    static CPlatform platform{registry, profile, files, locks, libraries, system};
    return platform;
}

char PathSeparator() {
    return '\\';
}

std::size_t MaxPathLength() {
    return MAX_PATH - 1;
}

std::string LibraryFileName(const std::string& stem) {
    return stem + ".dll";
}

bool IsLeadByte(char c) {
    return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
}

}  // namespace Platform
