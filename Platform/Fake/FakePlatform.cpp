// The fake concerns. Each call first records itself, then consults the
// injected faults, then works on the in-memory state.
#include "Platform/Fake/FakePlatform.h"

#include "Platform/PathClaimedFile.h"
#include "Platform/PathName.h"
#include "Platform/ProfileText.h"
#include "Platform/Wildcard.h"

namespace Platform {

namespace {

// The fake's paths use the platform's separator only.
std::string Parent(const std::string& path) {
    const char separator = PathSeparator();
    return ParentPath(path, std::string_view(&separator, 1));
}

std::string BaseName(const std::string& path) {
    const char separator = PathSeparator();
    return Platform::BaseName(path, std::string_view(&separator, 1));
}

std::string Strip(std::string path) {
    while (path.size() > 1 && path.back() == PathSeparator()) path.pop_back();
    return path;
}

class CFakeHive : public IHiveBacking {
public:
    explicit CFakeHive(CFakePlatform& fake) : m_fake(fake) {}
    Status Load(CRegistryStore* store) override {
        *store = m_fake.m_hive;
        return kSuccess;
    }
    Status Save(const CRegistryStore& store) override {
        m_fake.m_hive = store;
        return kSuccess;
    }
    bool Writable() override { return m_fake.m_registryWritable; }

private:
    CFakePlatform& m_fake;
};

class CFakeRegistry : public IRegistry {
public:
    explicit CFakeRegistry(CFakePlatform& fake) : m_fake(fake), m_hive(fake), m_registry(m_hive) {}
    Status OpenKey(RegKey parent, const std::string& subKey, std::uint32_t access,
                   RegKey* key) override {
        m_fake.Record("OpenKey " + subKey);
        Status s;
        if (m_fake.Injected(FakeCall::OpenKey, subKey, &s))
            return s;
        return m_registry.OpenKey(parent, subKey, access, key);
    }
    Status CreateKey(RegKey parent, const std::string& subKey, std::uint32_t access, RegKey* key,
                     std::uint32_t* disposition) override {
        m_fake.Record("CreateKey " + subKey);
        Status s;
        if (m_fake.Injected(FakeCall::CreateKey, subKey, &s))
            return s;
        return m_registry.CreateKey(parent, subKey, access, key, disposition);
    }
    Status CloseKey(RegKey key) override {
        m_fake.Record("CloseKey");
        return m_registry.CloseKey(key);
    }
    Status QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type, void* data,
                      std::uint32_t* size) override {
        m_fake.Record("QueryValue " + valueName);
        Status s;
        if (m_fake.Injected(FakeCall::QueryValue, valueName, &s))
            return s;
        return m_registry.QueryValue(key, valueName, type, data, size);
    }
    Status SetValue(RegKey key, const std::string& valueName, std::uint32_t type, const void* data,
                    std::uint32_t size) override {
        m_fake.Record("SetValue " + valueName);
        Status s;
        if (m_fake.Injected(FakeCall::SetValue, valueName, &s))
            return s;
        return m_registry.SetValue(key, valueName, type, data, size);
    }
    // A test makes the store untrusted with FailCall(CheckTrusted, "registry").
    Status CheckTrusted(std::string* reason) override {
        m_fake.Record("CheckTrusted registry");
        Status s;
        if (m_fake.Injected(FakeCall::CheckTrusted, "registry", &s)) {
            if (reason)
                *reason = "registry: injected";
            return s;
        }
        return kSuccess;
    }

private:
    CFakePlatform& m_fake;
    CFakeHive m_hive;
    CHiveRegistry m_registry;
};

class CFakeProfile : public IProfile {
public:
    explicit CFakeProfile(CFakePlatform& fake) : m_fake(fake) {}
    std::uint32_t GetString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, std::uint32_t size, const std::string& path) override {
        m_fake.Record("GetString " + path);
        auto it = m_fake.m_nodes.find(path);
        const std::string* text =
            it != m_fake.m_nodes.end() && !it->second.folder ? &it->second.content : nullptr;
        return ProfileGetString(text, section, key, defaultValue, buffer, size);
    }
    bool WriteString(const char* section, const char* key, const char* value,
                     const std::string& path) override {
        m_fake.Record("WriteString " + path);
        Status s;
        if (m_fake.Injected(FakeCall::WriteString, path, &s)) {
            m_fake.m_lastError = s;
            return false;
        }
        std::string text = m_fake.HasFile(path) ? m_fake.FileContent(path) : "";
        if (!ProfileWriteString(text, section, key, value))
            return false;
        m_fake.PutFile(path, text);
        return true;
    }

private:
    CFakePlatform& m_fake;
};

class CFakeFileSystem : public IFileSystem {
public:
    explicit CFakeFileSystem(CFakePlatform& fake) : m_fake(fake) {}

    Status ListFiles(const std::string& folder, const std::string& pattern, bool includeFolders,
                     std::vector<FileEntry>* entries) override {
        m_fake.Record("ListFiles " + folder);
        entries->clear();
        Status s;
        if (m_fake.Injected(FakeCall::ListFiles, folder, &s))
            return Fail(s);
        auto it = m_fake.m_nodes.find(Strip(folder));
        if (it == m_fake.m_nodes.end() || !it->second.folder)
            return Fail(kPathNotFound);
        for (const auto& [path, node] : m_fake.m_nodes) {
            if (Parent(path) != Strip(folder) || path == Strip(folder))
                continue;
            if (node.folder && !includeFolders)
                continue;
            if (!MatchWildcard(pattern, BaseName(path)))
                continue;
            entries->push_back({BaseName(path), Attributes(node)});
        }
        return kSuccess;
    }

    Status GetAttributes(const std::string& path, std::uint32_t* attributes) override {
        m_fake.Record("GetAttributes " + path);
        Status s;
        if (m_fake.Injected(FakeCall::GetAttributes, path, &s))
            return Fail(s);
        const CFakePlatform::Node* node = Find(path);
        if (!node)
            return Fail(MissingStatus(path));
        *attributes = Attributes(*node);
        return kSuccess;
    }

    Status SetAttributes(const std::string& path, std::uint32_t attributes) override {
        m_fake.Record("SetAttributes " + path);
        Status s;
        if (m_fake.Injected(FakeCall::SetAttributes, path, &s))
            return Fail(s);
        CFakePlatform::Node* node = Find(path);
        if (!node)
            return Fail(MissingStatus(path));
        node->attributes =
            (node->attributes & ~kAttributeReadOnly) | (attributes & kAttributeReadOnly);
        return kSuccess;
    }

    Status Relocate(const std::string& from, const std::string& to, bool replaceExisting) override {
        m_fake.Record("Relocate " + from + " -> " + to);
        Status s;
        if (m_fake.Injected(FakeCall::Relocate, from, &s))
            return Fail(s);
        CFakePlatform::Node* source = Find(from);
        if (!source)
            return Fail(MissingStatus(from));
        CFakePlatform::Node* target = Find(to);
        if (target && !replaceExisting)
            return Fail(kAlreadyExists);
        if (target && (target->folder || (target->attributes & kAttributeReadOnly)))
            return Fail(kAccessDenied);
        CFakePlatform::Node* folder = Find(Parent(to));
        if (!Parent(to).empty() && (!folder || !folder->folder))
            return Fail(kPathNotFound);
        CFakePlatform::Node moved = *source;
        m_fake.m_nodes.erase(Strip(from));
        m_fake.m_nodes[Strip(to)] = moved;
        return kSuccess;
    }

    Status RemoveFile(const std::string& path) override {
        m_fake.Record("RemoveFile " + path);
        Status s;
        if (m_fake.Injected(FakeCall::RemoveFile, path, &s))
            return Fail(s);
        CFakePlatform::Node* node = Find(path);
        if (!node)
            return Fail(MissingStatus(path));
        if (node->folder || (node->attributes & kAttributeReadOnly))
            return Fail(kAccessDenied);
        m_fake.m_nodes.erase(Strip(path));
        return kSuccess;
    }

    Status CreateFolder(const std::string& path) override {
        m_fake.Record("CreateFolder " + path);
        Status s;
        if (m_fake.Injected(FakeCall::CreateFolder, path, &s))
            return Fail(s);
        if (Find(path))
            return Fail(kAlreadyExists);
        CFakePlatform::Node* parent = Find(Parent(Strip(path)));
        if (!Parent(Strip(path)).empty() && (!parent || !parent->folder))
            return Fail(kPathNotFound);
        m_fake.m_nodes[Strip(path)] = CFakePlatform::Node{true, "", 0};
        return kSuccess;
    }

    bool Exists(const std::string& path) override {
        m_fake.Record("Exists " + path);
        return Find(path) != nullptr;
    }

    Status ReadWhole(const std::string& path, std::string* content) override {
        m_fake.Record("ReadWhole " + path);
        Status s;
        if (m_fake.Injected(FakeCall::ReadWhole, path, &s))
            return Fail(s);
        CFakePlatform::Node* node = Find(path);
        if (!node)
            return Fail(MissingStatus(path));
        if (node->folder)
            return Fail(kAccessDenied);
        *content = node->content;
        return kSuccess;
    }

    Status ReplaceContent(const std::string& path, const std::string& content,
                          const std::string& temporaryPath, bool) override {
        m_fake.Record("ReplaceContent " + path);
        Status s;
        if (m_fake.Injected(FakeCall::ReplaceContent, path, &s))
            return Fail(s);
        CFakePlatform::Node* folder = Find(Parent(Strip(path)));
        if (!Parent(Strip(path)).empty() && (!folder || !folder->folder))
            return Fail(kPathNotFound);
        CFakePlatform::Node* node = Find(path);
        if (node && (node->folder || (node->attributes & kAttributeReadOnly)))
            return Fail(kAccessDenied);
        m_fake.m_nodes.erase(Strip(temporaryPath));
        CFakePlatform::Node& target = m_fake.m_nodes[Strip(path)];
        target.content = content;
        return kSuccess;
    }

    Status CheckTrusted(const std::string& path, std::string* reason) override {
        m_fake.Record("CheckTrusted " + path);
        Status s;
        if (m_fake.Injected(FakeCall::CheckTrusted, path, &s)) {
            if (reason)
                *reason = path + ": injected";
            return Fail(s);
        }
        if (!Find(path))
            return Fail(MissingStatus(path));
        return kSuccess;
    }

    Status ClaimFile(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) override;

    Status RecoverClaims(const std::string& folder) override {
        m_fake.Record("RecoverClaims " + folder);
        return kSuccess;
    }

private:
    CFakePlatform::Node* Find(const std::string& path) {
        auto it = m_fake.m_nodes.find(Strip(path));
        return it == m_fake.m_nodes.end() ? nullptr : &it->second;
    }
    Status MissingStatus(const std::string& path) {
        CFakePlatform::Node* parent = Find(Parent(Strip(path)));
        return parent && parent->folder ? kFileNotFound : kPathNotFound;
    }
    static std::uint32_t Attributes(const CFakePlatform::Node& node) {
        std::uint32_t a = node.attributes | (node.folder ? kAttributeDirectory : 0);
        return a ? a : kAttributeNormal;
    }
    Status Fail(Status s) {
        m_fake.m_lastError = s;
        return s;
    }
    CFakePlatform& m_fake;
};

Status CFakeFileSystem::ClaimFile(const std::string& path, std::unique_ptr<IClaimedFile>* claimed) {
    m_fake.Record("ClaimFile " + path);
    claimed->reset();
    Status s;
    if (m_fake.Injected(FakeCall::ClaimFile, path, &s))
        return Fail(s);
    CFakePlatform::Node* node = Find(path);
    if (!node)
        return Fail(MissingStatus(path));
    if (node->folder || (node->attributes & kAttributeReparsePoint))
        return Fail(kAccessDenied);
    // Every step of the fake's claim is the path call of the same name.
    *claimed = std::make_unique<CPathClaimedFile>(*this, path);
    return kSuccess;
}

class CFakeHeldLock : public IHeldLock {
public:
    CFakeHeldLock(CFakePlatform& fake, std::string name) : m_fake(fake), m_name(std::move(name)) {}
    ~CFakeHeldLock() override { m_fake.m_locks.erase(m_name); }

private:
    CFakePlatform& m_fake;
    std::string m_name;
};

class CFakeInstanceLock : public IInstanceLock {
public:
    explicit CFakeInstanceLock(CFakePlatform& fake) : m_fake(fake) {}
    Status Acquire(const std::string& name, std::unique_ptr<IHeldLock>* held) override {
        m_fake.Record("Acquire " + name);
        held->reset();
        Status s;
        if (m_fake.Injected(FakeCall::Acquire, name, &s))
            return m_fake.m_lastError = s;
        if (!m_fake.m_locks.insert(name).second)
            return m_fake.m_lastError = kAlreadyExists;
        *held = std::make_unique<CFakeHeldLock>(m_fake, name);
        return kSuccess;
    }

private:
    CFakePlatform& m_fake;
};

class CFakeDynamicLibrary : public IDynamicLibrary {
public:
    explicit CFakeDynamicLibrary(CFakePlatform& fake) : m_fake(fake) {}
    Status Load(const std::string& path, LibraryHandle* handle) override {
        m_fake.Record("Load " + path);
        *handle = nullptr;
        Status s;
        if (m_fake.Injected(FakeCall::Load, path, &s))
            return m_fake.m_lastError = s;
        auto it = m_fake.m_libraries.find(path);
        if (it == m_fake.m_libraries.end())
            return m_fake.m_lastError = kModNotFound;
        ++it->second.loads;
        *handle = &it->second;
        return kSuccess;
    }
    LibrarySymbol FindSymbol(LibraryHandle handle, const std::string& name) override {
        m_fake.Record("FindSymbol " + name);
        auto* library = static_cast<CFakePlatform::Library*>(handle);
        auto it = library ? library->exports.find(name) : decltype(library->exports.end()){};
        if (!library || it == library->exports.end()) {
            m_fake.m_lastError = kProcNotFound;
            return nullptr;
        }
        return it->second;
    }
    Status Free(LibraryHandle handle) override {
        m_fake.Record("Free");
        auto* library = static_cast<CFakePlatform::Library*>(handle);
        if (!library || library->loads == 0)
            return m_fake.m_lastError = kInvalidHandle;
        --library->loads;
        return kSuccess;
    }

private:
    CFakePlatform& m_fake;
};

class CFakeSystem : public ISystem {
public:
    explicit CFakeSystem(CFakePlatform& fake) : m_fake(fake) {}
    std::string ModuleFileName() override { return m_fake.m_moduleFileName; }
    std::string ErrorText(Status code) override {
        return code == kSuccess ? "" : "fake error " + std::to_string(code) + "\n";
    }
    Status LastError() override { return m_fake.m_lastError; }
    void StoreLastError(Status code) override { m_fake.m_lastError = code; }
    std::string ExpandEnvironment(const std::string& text) override {
        std::string out = text;
        for (const auto& [name, value] : m_fake.m_environment) {
            std::string token = "%" + name + "%";
            for (size_t at; (at = out.find(token)) != std::string::npos;)
                out.replace(at, token.size(), value);
        }
        return out;
    }
    LocalTime Now() override { return m_fake.m_time; }
    std::uint32_t CurrentProcessId() override { return m_fake.m_processId; }
    bool IsProcessAlive(std::uint32_t pid) override {
        return pid != 0 && (pid == m_fake.m_processId || m_fake.m_liveProcesses.count(pid));
    }
    // Recorded, so that a test can check the entry's order of start and stop.
    void InitializeCom() override { m_fake.Record("InitializeCom"); }
    void UninitializeCom() override { m_fake.Record("UninitializeCom"); }

private:
    CFakePlatform& m_fake;
};

}  // namespace

struct CFakePlatform::Concerns {
    explicit Concerns(CFakePlatform& fake)
        : registry(fake), profile(fake), files(fake), locks(fake), libraries(fake), system(fake) {}
    CFakeRegistry registry;
    CFakeProfile profile;
    CFakeFileSystem files;
    CFakeInstanceLock locks;
    CFakeDynamicLibrary libraries;
    CFakeSystem system;
};

CFakePlatform::CFakePlatform()
    : m_concerns(std::make_unique<Concerns>(*this)),
      m_platform(std::make_unique<CPlatform>(
          CPlatform{m_concerns->registry, m_concerns->profile, m_concerns->files, m_concerns->locks,
                    m_concerns->libraries, m_concerns->system})) {}

CFakePlatform::~CFakePlatform() = default;

void CFakePlatform::SetRegistryText(const std::string& text) {
    m_hive = CRegistryStore::Parse(text, nullptr);
}

std::string CFakePlatform::RegistryText() const {
    return m_hive.Serialize();
}

void CFakePlatform::SetRegistryWritable(bool writable) {
    m_registryWritable = writable;
}

void CFakePlatform::PutFile(const std::string& path, const std::string& content,
                            std::uint32_t attributes) {
    PutFolder(Parent(path));
    m_nodes[Strip(path)] = Node{false, content, attributes};
}

void CFakePlatform::PutFolder(const std::string& path) {
    std::string folder = Strip(path);
    if (folder.empty() || m_nodes.count(folder))
        return;
    PutFolder(Parent(folder));
    m_nodes[folder] = Node{true, "", 0};
}

bool CFakePlatform::HasFile(const std::string& path) const {
    auto it = m_nodes.find(Strip(path));
    return it != m_nodes.end() && !it->second.folder;
}

std::string CFakePlatform::FileContent(const std::string& path) const {
    auto it = m_nodes.find(Strip(path));
    return it == m_nodes.end() ? "" : it->second.content;
}

void CFakePlatform::AddLibrary(const std::string& path,
                               std::map<std::string, LibrarySymbol> exports) {
    m_libraries[path].exports = std::move(exports);
}

bool CFakePlatform::IsLoaded(const std::string& path) const {
    auto it = m_libraries.find(path);
    return it != m_libraries.end() && it->second.loads > 0;
}

void CFakePlatform::HoldLock(const std::string& name) {
    m_locks.insert(name);
}

void CFakePlatform::SetModuleFileName(const std::string& path) {
    m_moduleFileName = path;
}

void CFakePlatform::SetEnvironment(const std::string& name, const std::string& value) {
    m_environment[name] = value;
}

void CFakePlatform::SetTime(const LocalTime& time) {
    m_time = time;
}

void CFakePlatform::SetProcessAlive(std::uint32_t pid, bool alive) {
    if (alive)
        m_liveProcesses.insert(pid);
    else
        m_liveProcesses.erase(pid);
}

void CFakePlatform::FailCall(FakeCall call, const std::string& path, Status status, int times) {
    m_faults.push_back(Fault{call, path, status, times});
}

bool CFakePlatform::Injected(FakeCall call, const std::string& path, Status* status) {
    for (Fault& f : m_faults) {
        if (f.call != call || (!f.path.empty() && f.path != path) || f.times == 0)
            continue;
        if (f.times > 0)
            --f.times;
        *status = f.status;
        return true;
    }
    return false;
}

}  // namespace Platform
