// Forwarding wrappers over the platform: each concern passes every call to
// a target. A test derives from one, overrides the call it wants to change,
// and keeps the rest real:
//
//   struct CFailingMove : Platform::CFileSystemWrapper {
//       using CFileSystemWrapper::CFileSystemWrapper;
//       Status Relocate(const std::string&, const std::string&, bool) override { return 5; }
//   };
//   CFailingMove files(DefaultPlatform().files);
//   CPlatform platform = WithConcern(DefaultPlatform(), files);
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "Platform/Platform.h"

namespace Platform {

class CRegistryWrapper : public IRegistry {
public:
    explicit CRegistryWrapper(IRegistry& target) : m_target(target) {}
    Status OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                   RegKey* key) override {
        return m_target.OpenKey(parent, subKey, access, key);
    }
    Status CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey* key,
                     std::uint32_t* disposition) override {
        return m_target.CreateKey(parent, subKey, access, key, disposition);
    }
    Status CloseKey(RegKey key) override { return m_target.CloseKey(key); }
    Status QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type, void* data,
                      std::uint32_t* size) override {
        return m_target.QueryValue(key, valueName, type, data, size);
    }
    Status SetValue(RegKey key, const std::string& valueName, std::uint32_t type, const void* data,
                    std::uint32_t size) override {
        return m_target.SetValue(key, valueName, type, data, size);
    }
    Status CheckTrusted(std::string* reason) override { return m_target.CheckTrusted(reason); }

protected:
    IRegistry& m_target;
};

class CProfileWrapper : public IProfile {
public:
    explicit CProfileWrapper(IProfile& target) : m_target(target) {}
    std::uint32_t GetString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, std::uint32_t size, const std::string& path) override {
        return m_target.GetString(section, key, defaultValue, buffer, size, path);
    }
    bool WriteString(const char* section, const char* key, const char* value,
                     const std::string& path) override {
        return m_target.WriteString(section, key, value, path);
    }

protected:
    IProfile& m_target;
};

class CFileSystemWrapper : public IFileSystem {
public:
    explicit CFileSystemWrapper(IFileSystem& target) : m_target(target) {}
    Status ListFiles(const std::string& folder, const std::string& pattern, bool includeFolders,
                     std::vector<FileEntry>* entries) override {
        return m_target.ListFiles(folder, pattern, includeFolders, entries);
    }
    Status GetAttributes(const std::string& path, std::uint32_t* attributes) override {
        return m_target.GetAttributes(path, attributes);
    }
    Status SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return m_target.SetAttributes(path, attributes);
    }
    Status Relocate(const std::string& from, const std::string& to, bool replaceExisting) override {
        return m_target.Relocate(from, to, replaceExisting);
    }
    Status RemoveFile(const std::string& path) override { return m_target.RemoveFile(path); }
    Status CreateFolder(const std::string& path) override { return m_target.CreateFolder(path); }
    bool Exists(const std::string& path) override { return m_target.Exists(path); }
    Status ReadWhole(const std::string& path, std::string* content) override {
        return m_target.ReadWhole(path, content);
    }
    Status ReplaceContent(const std::string& path, const std::string& content,
                          const std::string& temporaryPath, bool readableByAll) override {
        return m_target.ReplaceContent(path, content, temporaryPath, readableByAll);
    }
    Status CheckTrusted(const std::string& path, std::string* reason) override {
        return m_target.CheckTrusted(path, reason);
    }
    Status ClaimFile(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) override {
        return m_target.ClaimFile(path, claimed);
    }
    Status RecoverClaims(const std::string& folder) override {
        return m_target.RecoverClaims(folder);
    }

protected:
    IFileSystem& m_target;
};

class CInstanceLockWrapper : public IInstanceLock {
public:
    explicit CInstanceLockWrapper(IInstanceLock& target) : m_target(target) {}
    Status Acquire(const std::string& name, std::unique_ptr<IHeldLock>* held) override {
        return m_target.Acquire(name, held);
    }

protected:
    IInstanceLock& m_target;
};

class CDynamicLibraryWrapper : public IDynamicLibrary {
public:
    explicit CDynamicLibraryWrapper(IDynamicLibrary& target) : m_target(target) {}
    Status Load(const std::string& path, LibraryHandle* handle) override {
        return m_target.Load(path, handle);
    }
    LibrarySymbol FindSymbol(LibraryHandle handle, const std::string& name) override {
        return m_target.FindSymbol(handle, name);
    }
    Status Free(LibraryHandle handle) override { return m_target.Free(handle); }

protected:
    IDynamicLibrary& m_target;
};

class CSystemWrapper : public ISystem {
public:
    explicit CSystemWrapper(ISystem& target) : m_target(target) {}
    std::string ModuleFileName() override { return m_target.ModuleFileName(); }
    std::string ErrorText(Status code) override { return m_target.ErrorText(code); }
    Status LastError() override { return m_target.LastError(); }
    void StoreLastError(Status code) override { m_target.StoreLastError(code); }
    std::string ExpandEnvironment(const std::string& text) override {
        return m_target.ExpandEnvironment(text);
    }
    LocalTime Now() override { return m_target.Now(); }
    std::uint32_t CurrentProcessId() override { return m_target.CurrentProcessId(); }
    bool IsProcessAlive(std::uint32_t pid) override { return m_target.IsProcessAlive(pid); }
    void InitializeCom() override { m_target.InitializeCom(); }
    void UninitializeCom() override { m_target.UninitializeCom(); }

protected:
    ISystem& m_target;
};

// `base` with one concern replaced.
inline CPlatform WithConcern(const CPlatform& base, IRegistry& registry) {
    return {registry, base.profile, base.files, base.locks, base.libraries, base.system};
}
inline CPlatform WithConcern(const CPlatform& base, IProfile& profile) {
    return {base.registry, profile, base.files, base.locks, base.libraries, base.system};
}
inline CPlatform WithConcern(const CPlatform& base, IFileSystem& files) {
    return {base.registry, base.profile, files, base.locks, base.libraries, base.system};
}
inline CPlatform WithConcern(const CPlatform& base, IInstanceLock& locks) {
    return {base.registry, base.profile, base.files, locks, base.libraries, base.system};
}
inline CPlatform WithConcern(const CPlatform& base, IDynamicLibrary& libraries) {
    return {base.registry, base.profile, base.files, base.locks, libraries, base.system};
}
inline CPlatform WithConcern(const CPlatform& base, ISystem& system) {
    return {base.registry, base.profile, base.files, base.locks, base.libraries, system};
}

}  // namespace Platform
