// Where a file goes after its load: an imported file to the backup folder
// (or away, when none is set), a failed one to the error folder. A file that
// cannot be moved gets ".err" in place, which takes it out of the listing.
#include "Brennick/Helpers.h"
#include "Brennick/Ini.h"
#include "Platform/TemporaryName.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"
#include "Server/Ferrowin/LogCollectClaim.h"
#include "Server/Ferrowin/RegistryKey.h"

namespace {

// A file operation that failed where the caller's handler must take over.
struct CFileOperationFailed {};

// Every move replaces a file of the same name and may copy across volumes.
constexpr bool kMoveReplace = true;

}  // namespace

void CLogCollect::RelocateLogFile(const std::string& path, int imported,
                                  Platform::IClaimedFile* claimed) {
    Platform::IFileSystem& files = m_platform.files;

    // The file must not stay read-only wherever it goes. A claimed file is
    // changed through what the claim holds, never through its path.
    std::uint32_t attributes = 0;
    if (claimed) {
        if (claimed->GetAttributes(&attributes) == Platform::kSuccess &&
            (attributes & Platform::kAttributeReadOnly) &&
            claimed->ClearReadOnly() != Platform::kSuccess)
            throw CFileOperationFailed{};
    } else if (files.GetAttributes(path, &attributes) == Platform::kSuccess &&
               (attributes & Platform::kAttributeReadOnly) &&
               files.SetAttributes(path, attributes & ~Platform::kAttributeReadOnly) !=
                   Platform::kSuccess) {
        throw CFileOperationFailed{};
    }

    // The folders are read afresh for every file. Settings that another
    // user could change decide nothing: the file stays for a later run.
    CRelocationFolders folders;
    if (!ReadRelocationFolders(true, &folders))
        return;
    std::string backupFolder = folders.backup;
    std::string errorFolder = folders.error;
    std::string name = BaseName(path);

    if (imported) {
        try {
            if (backupFolder.empty()) {
                if ((claimed ? claimed->Remove() : files.RemoveFile(path)) != Platform::kSuccess)
                    throw CFileOperationFailed{};
                return;
            }
            backupFolder = WithSeparator(backupFolder);
            if (!DestinationFolderTrusted(m_platform, m_events, path, backupFolder))
                return;
            MoveToFolder(path, backupFolder, backupFolder + name, true, claimed);
        } catch (...) {
            ReportLogEventWithSystemError(EventMessage::FileDeleteFailed,
                                          FormatEventText(EventMessage::FileDeleteFailed, {path}));
        }
        return;
    }

    m_summary.FileFailed();
    try {
        ReportLogEvent(ImportFailureNoticeId().c_str(),
                       FormatEventText(EventMessage::ImportFailureNotice,
                                       {FormatNoticeTime(m_platform.system.Now()), path})
                           .c_str());
        if (!errorFolder.empty()) {
            errorFolder = WithSeparator(errorFolder);
            if (DestinationFolderTrusted(m_platform, m_events, path, errorFolder))
                MoveToFolder(path, errorFolder, errorFolder + name, false, claimed);
        } else if (DestinationFolderTrusted(m_platform, m_events, path, m_strErrorFolder)) {
            MoveToFolder(path, m_strErrorFolder, m_strErrorFolder + name, false, claimed);
        }
    } catch (...) {
        ReportLogEventWithSystemError(EventMessage::FileMoveFailed,
                                      FormatEventText(EventMessage::FileMoveFailed, {path}));
    }
}

bool CLogCollect::ReadRelocationFolders(bool relocating, CRelocationFolders* folders) {
    std::string installFolder;
    {
        CRegistryKey key(m_platform.registry);
        if (key.Open(Platform::kHKeyLocalMachine, kDbManagerKey, Platform::kKeyAllAccess) == 0) {
            std::string buffer(kSettingBufferSize, '\0');
            if (key.QueryValue(buffer.data(), "InstallPath", kSettingBufferSize,
                               Platform::kRegSz) == 0)
                installFolder = buffer.c_str();
            else if (relocating)
                ReportLogEventWithSystemError(EventMessage::InstallPathUnreadable,
                                              EventText(EventMessage::InstallPathUnreadable));
        }
    }
    std::string base =
        installFolder.empty() ? GetModuleDirectory(m_platform.system) : installFolder;
    const char sep = Platform::PathSeparator();
    const std::string settingsPath = WithSeparator(base) + "Setting" + sep + "KFSettings.ini";
    if (relocating && !SettingsFileTrusted(m_platform, m_events, settingsPath))
        return false;
    CIni settings(m_platform.profile, settingsPath.c_str());
    auto folderSetting = [&](const char* key) {
        std::string folder = settings.ReadString("LOG_SETTINGS", key);
        if (!folder.empty() && !Platform::IsAbsoluteFolder(folder))
            folder = installFolder + folder;
        return folder;
    };
    folders->backup = folderSetting("IMPORT_BACKUP_PATH");
    folders->error = folderSetting("IMPORT_ERR_PATH");
    return true;
}

bool CLogCollect::DestinationsTrusted(const std::string& path) {
    std::vector<std::string> folders = RelocationFolders();
    if (!m_strErrorFolder.empty())
        folders.push_back(m_strErrorFolder);
    for (const std::string& folder : folders)
        if (!DestinationFolderTrusted(m_platform, m_events, path, folder))
            return false;
    return true;
}

// Moves the file to `target`; when that fails and the file is still there,
// reports it and renames the file to its name plus ".err".
void CLogCollect::MoveToFolder(const std::string& path, const std::string& folder,
                               const std::string& target, bool backup,
                               Platform::IClaimedFile* claimed) {
    Platform::IFileSystem& files = m_platform.files;
    auto move = [&](const std::string& to) {
        return claimed ? claimed->MoveTo(to) : files.Relocate(path, to, kMoveReplace);
    };
    if (move(target) == Platform::kSuccess)
        return;
    // A claimed file is still held after a failed move; another may be gone.
    std::uint32_t attributes = 0;
    if ((claimed ? claimed->GetAttributes(&attributes) : files.GetAttributes(path, &attributes)) !=
        Platform::kSuccess)
        return;  // gone after all
    EventMessage moveFailed =
        backup ? EventMessage::BackupMoveFailed : EventMessage::ErrorMoveFailed;
    ReportLogEventWithSystemError(moveFailed, FormatEventText(moveFailed, {path, folder}));
    // A name too long for ".err" gets a shortened one that still ends in it:
    // a file left under its own name would be loaded again by every run.
    if (move(Platform::SuffixedName(path, Platform::kErrorSuffix)) == Platform::kSuccess)
        return;
    EventMessage renameFailed =
        backup ? EventMessage::BackupRenameFailed : EventMessage::ErrorRenameFailed;
    ReportLogEventWithSystemError(renameFailed, FormatEventText(renameFailed, {path, path}));
}
