// The contract on the Linux implementation: real files in a temporary folder,
// and a registry file named by KESTRAFOLD_REGISTRY.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/Platform/Contract/PlatformFixture.h"
#include "tests/Support/TempDir.h"

namespace {

class CPosixFixture : public IPlatformFixture {
public:
    CPosixFixture() : m_registry("KESTRAFOLD_REGISTRY", m_dir / "registry.reg") {}
    ~CPosixFixture() override {
        // Read-only folders' files must be removable by the temp folder's cleanup.
        std::error_code ignored;
        for (auto& e : std::filesystem::recursive_directory_iterator(m_dir.Path(), ignored))
            chmod(e.path().c_str(), 0755);
    }
    Platform::CPlatform& Get() override { return Platform::DefaultPlatform(); }
    std::string Root() override { return m_dir / "root"; }
    void PutFile(const std::string& path, const std::string& content, bool readOnly) override {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, content);
        if (readOnly)
            chmod(path.c_str(), 0444);
    }
    void PutFolder(const std::string& path) override { std::filesystem::create_directories(path); }
    std::optional<std::string> Content(const std::string& path) override {
        if (!std::filesystem::is_regular_file(path))
            return std::nullopt;
        return ReadFile(path);
    }
    // A descriptor open for writing blocks a claim, whichever process has it.
    std::shared_ptr<void> OpenForWriting(const std::string& path) override {
        int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        EXPECT_LE(0, fd) << path;
        return std::shared_ptr<void>(nullptr, [fd](void*) { close(fd); });
    }
    bool PutLink(const std::string& path, const std::string& target) override {
        std::filesystem::create_symlink(target, path);
        return true;
    }
    void SetRegistryText(const std::string& regedit) override {
        WriteFile(m_dir / "registry.reg", regedit);
    }

private:
    CTempDir m_dir;
    CScopedEnv m_registry;
    bool m_made = std::filesystem::create_directory(m_dir / "root");
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Posix, PlatformContract,
                         ::testing::Values(ContractTarget{
                             "Posix", [] { return std::make_unique<CPosixFixture>(); }}),
                         TargetName());
