// The contract on the in-memory fake.
#include "Platform/Fake/FakePlatform.h"
#include "tests/Platform/Contract/PlatformFixture.h"

namespace {

class CFakeFixture : public IPlatformFixture {
public:
    CFakeFixture() { m_fake.PutFolder(Root()); }
    Platform::CPlatform& Get() override { return m_fake.Get(); }
    std::string Root() override { return "/contract"; }
    void PutFile(const std::string& path, const std::string& content, bool readOnly) override {
        m_fake.PutFile(path, content, readOnly ? Platform::kAttributeReadOnly : 0);
    }
    void PutFolder(const std::string& path) override { m_fake.PutFolder(path); }
    std::optional<std::string> Content(const std::string& path) override {
        if (!m_fake.HasFile(path))
            return std::nullopt;
        return m_fake.FileContent(path);
    }
    // The fake's one line for a file still being written: its next claim fails.
    std::shared_ptr<void> OpenForWriting(const std::string& path) override {
        m_fake.FailCall(Platform::FakeCall::ClaimFile, path, Platform::kSharingViolation, 1);
        return nullptr;
    }
    bool PutLink(const std::string& path, const std::string&) override {
        m_fake.PutFile(path, "", Platform::kAttributeReparsePoint);
        return true;
    }
    void SetRegistryText(const std::string& regedit) override { m_fake.SetRegistryText(regedit); }

private:
    Platform::CFakePlatform m_fake;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Fake, PlatformContract,
                         ::testing::Values(ContractTarget{
                             "Fake", [] { return std::make_unique<CFakeFixture>(); }}),
                         TargetName());
