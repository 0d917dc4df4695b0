// The contract on the Win32 implementation, run under Wine or Windows: real
// files in a temporary folder, and the real registry, whose keys below
// SOFTWARE\Zorel are made from the case's regedit text.
#include "Platform/RegistryHive.h"
#include "Platform/Win32/Win32Api.h"
#include "tests/Platform/Contract/PlatformFixture.h"
#include "tests/Support/TempDir.h"

namespace {

// Every key a contract case writes lies below this one.
constexpr char kTestKeys[] = "SOFTWARE\\Zorel";

void DeleteTestKeys() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestKeys);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestKeys);
}

// The path below HKEY_LOCAL_MACHINE of a regedit key path, or "" for
// another hive.
std::string BelowLocalMachine(const std::string& path) {
    const std::string root = "HKEY_LOCAL_MACHINE\\";
    if (path.size() < root.size() || _strnicmp(path.c_str(), root.c_str(), root.size()) != 0)
        return "";
    return path.substr(root.size());
}

class CWin32Fixture : public IPlatformFixture {
public:
    CWin32Fixture() {
        CreateDirectoryA(Root().c_str(), nullptr);
        DeleteTestKeys();
    }
    ~CWin32Fixture() override {
        // Read-only files must be removable by the temp folder's cleanup.
        std::error_code ignored;
        for (auto& e : std::filesystem::recursive_directory_iterator(m_dir.Path(), ignored))
            SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteTestKeys();
    }
    Platform::CPlatform& Get() override { return Platform::DefaultPlatform(); }
    std::string Root() override { return m_dir / "root"; }
    void PutFile(const std::string& path, const std::string& content, bool readOnly) override {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, content);
        if (readOnly)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    void PutFolder(const std::string& path) override { std::filesystem::create_directories(path); }
    std::optional<std::string> Content(const std::string& path) override {
        if (!std::filesystem::is_regular_file(path))
            return std::nullopt;
        return ReadFile(path);
    }
    // Another writer as an agent opens its file: write access, all sharing.
    std::shared_ptr<void> OpenForWriting(const std::string& path) override {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, handle) << path;
        return std::shared_ptr<void>(handle, [](void* h) { CloseHandle(h); });
    }
    // Symbolic links need a privilege that tests do not have.
    bool PutLink(const std::string&, const std::string&) override { return false; }
    void SetRegistryText(const std::string& regedit) override {
        DeleteTestKeys();
        std::vector<std::string> skipped;
        Platform::CRegistryStore store = Platform::CRegistryStore::Parse(regedit, &skipped);
        ASSERT_TRUE(skipped.empty()) << skipped.front();
        for (const Platform::CRegistryStore::Key* key : store.Keys()) {
            std::string path = BelowLocalMachine(key->path);
            ASSERT_FALSE(path.empty()) << key->path;
            HKEY handle = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                                     0, KEY_ALL_ACCESS, nullptr, &handle, nullptr));
            Platform::Win32::CKeyHandle owner(handle);
            for (const auto& value : key->values) {
                ASSERT_EQ(ERROR_SUCCESS,
                          RegSetValueExA(handle, value.name.c_str(), 0, value.type,
                                         reinterpret_cast<const BYTE*>(value.data.data()),
                                         static_cast<DWORD>(value.data.size())));
            }
        }
    }

private:
    CTempDir m_dir;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, PlatformContract,
                         ::testing::Values(ContractTarget{
                             "Win32", [] { return std::make_unique<CWin32Fixture>(); }}),
                         TargetName());
