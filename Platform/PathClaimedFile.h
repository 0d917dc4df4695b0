// A claimed file that is worked on by its path through the file seam: the
// Fake's claim, and the Win32 one, which holds the file open in between and
// lets go of it for the steps that replace, move or delete it.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "Platform/FileSystem.h"
#include "Platform/TemporaryName.h"

namespace Platform {

class CPathClaimedFile : public IClaimedFile {
public:
    CPathClaimedFile(IFileSystem& files, std::string path)
        : m_files(files), m_path(std::move(path)) {}

    std::string LoadPath() override { return m_path; }
    Status Read(std::string* content) override { return m_files.ReadWhole(m_path, content); }
    // A read-only file is replaced too, and stays read-only.
    Status Rewrite(const std::string& content) override {
        std::uint32_t attributes = 0;
        if (Status s = m_files.GetAttributes(m_path, &attributes))
            return s;
        bool readOnly = attributes & kAttributeReadOnly;
        Release();
        Status status = readOnly ? m_files.SetAttributes(m_path, kAttributeNormal) : kSuccess;
        if (status == kSuccess)
            status = m_files.ReplaceContent(m_path, content, RewriteCopyName(m_path), false);
        if (readOnly)
            m_files.SetAttributes(m_path, kAttributeReadOnly);
        Retake();
        return status;
    }
    Status GetAttributes(std::uint32_t* attributes) override {
        return m_files.GetAttributes(m_path, attributes);
    }
    Status ClearReadOnly() override {
        std::uint32_t attributes = 0;
        if (Status s = m_files.GetAttributes(m_path, &attributes))
            return s;
        return m_files.SetAttributes(m_path, attributes & ~kAttributeReadOnly);
    }
    // On failure the file is held again.
    Status MoveTo(const std::string& target) override {
        Release();
        Status status = m_files.Relocate(m_path, target, true);
        if (status != kSuccess)
            Retake();
        return status;
    }
    Status Remove() override {
        Release();
        Status status = m_files.RemoveFile(m_path);
        if (status != kSuccess)
            Retake();
        return status;
    }

protected:
    // Lets go of the file for a step that replaces, moves or deletes it, and
    // takes it again; nothing to do where nothing is held.
    virtual void Release() {}
    virtual void Retake() {}

    const std::string& Path() const { return m_path; }

private:
    IFileSystem& m_files;
    std::string m_path;
};

}  // namespace Platform
