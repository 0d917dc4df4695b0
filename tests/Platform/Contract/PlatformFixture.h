// The platform contract: one body of cases per concern, run on every
// implementation of the seam. Only the fixture differs between them: it
// makes a platform, a folder of the test's own, and the files and registry
// text a case starts from.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Platform.h"

class IPlatformFixture {
public:
    virtual ~IPlatformFixture() = default;

    virtual Platform::CPlatform& Get() = 0;

    // An empty folder for this test, without a closing separator.
    virtual std::string Root() = 0;

    // Files and folders by full path; a file's missing folders are made.
    virtual void PutFile(const std::string& path, const std::string& content,
                         bool readOnly = false) = 0;
    virtual void PutFolder(const std::string& path) = 0;
    // A file's content; nothing when there is no file at `path`.
    virtual std::optional<std::string> Content(const std::string& path) = 0;

    // Another process writing `path` until the result is dropped.
    virtual std::shared_ptr<void> OpenForWriting(const std::string& path) = 0;
    // A symbolic link at `path`; false where the fixture cannot make one.
    virtual bool PutLink(const std::string& path, const std::string& target) = 0;

    // Replaces HKEY_LOCAL_MACHINE with the keys of a regedit export.
    virtual void SetRegistryText(const std::string& regedit) = 0;
};

struct ContractTarget {
    const char* name;
    std::function<std::unique_ptr<IPlatformFixture>()> make;
};

class PlatformContract : public ::testing::TestWithParam<ContractTarget> {
protected:
    void SetUp() override { m_fixture = GetParam().make(); }

    IPlatformFixture& Fixture() { return *m_fixture; }
    Platform::CPlatform& Get() { return m_fixture->Get(); }
    // A path below the test's folder; '/' in `relative` becomes the
    // platform's separator.
    std::string P(const std::string& relative) {
        std::string path = m_fixture->Root() + Platform::PathSeparator();
        for (char c : relative) path += c == '/' ? Platform::PathSeparator() : c;
        return path;
    }

private:
    std::unique_ptr<IPlatformFixture> m_fixture;
};

// Names the instantiations after the target.
struct TargetName {
    std::string operator()(const ::testing::TestParamInfo<ContractTarget>& info) const {
        return info.param.name;
    }
};
