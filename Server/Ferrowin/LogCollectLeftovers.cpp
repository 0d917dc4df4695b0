// What a killed run leaves beside the files, removed by the next run before
// it lists the input folder; files that a run leaves, and why.
#include <algorithm>
#include <iostream>
#include <set>
#include <vector>

#include "Brennick/Helpers.h"
#include "Platform/TemporaryName.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"

namespace {

// The detail of the import-failure event of a path that is too long.
constexpr char kPathTooLong[] = " (the path is longer than the system allows)";

}  // namespace

// The backup and error folders as the relocation reads them (relative values
// below the install folder), without its events: the relocation reports an
// unreadable install folder when it reads them for a file.
std::vector<std::string> CLogCollect::RelocationFolders() {
    CRelocationFolders configured;
    ReadRelocationFolders(false, &configured);
    std::vector<std::string> folders;
    for (const std::string& folder : {configured.backup, configured.error})
        if (!folder.empty())
            folders.push_back(WithSeparator(folder));
    return folders;
}

void CLogCollect::RemoveLeftoverFiles(const std::string& folder) {
    std::vector<std::string> folders = {WithSeparator(folder)};
    for (const std::string& f : RelocationFolders()) folders.push_back(f);
    if (!m_strErrorFolder.empty())
        folders.push_back(WithSeparator(m_strErrorFolder));
    std::set<std::string> done;
    for (const std::string& f : folders)
        if (done.insert(f).second)
            RemoveLeftoversIn(f);
}

// Only what this program makes is removed: a move copy whose process is no
// longer running (a running one may be another importer's move in progress),
// and a rewrite copy beside the log it was made from. The rewrite copy
// never holds the only version of a log, since the log is replaced by
// renaming the copy over it; one whose log is missing did not come from
// this program and stays.
void CLogCollect::RemoveLeftoversIn(const std::string& folder) {
    Platform::IFileSystem& files = m_platform.files;
    std::vector<Platform::FileEntry> entries;
    if (files.ListFiles(folder, "*.csv.*", false, &entries) != Platform::kSuccess ||
        entries.empty())
        return;
    // The logs are listed only when there is a rewrite copy to match: the
    // backup folder may hold every file ever loaded.
    std::set<std::string> rewriteCopies;
    std::vector<Platform::FileEntry> logs;
    if (std::any_of(entries.begin(), entries.end(),
                    [](const Platform::FileEntry& e) {
                        return Platform::ParseTemporaryName(e.name, nullptr) ==
                               Platform::TemporaryKind::RewriteCopy;
                    }) &&
        files.ListFiles(folder, "*.csv", false, &logs) == Platform::kSuccess)
        for (const Platform::FileEntry& log : logs)
            rewriteCopies.insert(Platform::RewriteCopyName(log.name));
    for (const Platform::FileEntry& entry : entries) {
        std::uint32_t pid = 0;
        Platform::TemporaryKind kind = Platform::ParseTemporaryName(entry.name, &pid);
        bool leftover = kind == Platform::TemporaryKind::MoveCopy
                            ? !m_platform.system.IsProcessAlive(pid)
                            : kind == Platform::TemporaryKind::RewriteCopy &&
                                  rewriteCopies.count(entry.name) != 0;
        if (!leftover)
            continue;
        std::string path = folder + entry.name;
        if (entry.attributes & Platform::kAttributeReadOnly)
            files.SetAttributes(path, entry.attributes & ~Platform::kAttributeReadOnly);
        files.RemoveFile(path);
    }
}

// No event tells of a file that stays: the operator learns here why the
// input folder does not empty (a read-only database, a full disk, a lost
// connection), once, not for every file.
void CLogCollect::NoteDatabaseLost(const std::string& reason) {
    m_summary.SetConnectionLost();
    NoteFileLeft(reason);
}

void CLogCollect::NoteDatabaseLost() {
    NoteDatabaseLost(m_db.GetLastErrorText());
}

void CLogCollect::NoteFileLeft(const std::string& reason) {
    if (m_bFileLeftNoted)
        return;
    m_bFileLeftNoted = true;
    std::cerr << "ferrowin: files are left in the input folder for a later run: the database "
                 "cannot take them now ("
              << reason << ")\n";
}

bool CLogCollect::LeaveOverlongPath(const std::string& path) {
    if (path.size() <= Platform::MaxPathLength() || !IsLogKind(GetLogKind(path.c_str())))
        return false;
    ReportLogEvent(EventMessage::ImportFailed,
                   FormatEventText(EventMessage::ImportFailed, {path}) + kPathTooLong);
    return true;
}
