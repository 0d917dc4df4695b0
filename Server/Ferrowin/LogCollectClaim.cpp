// The checks of trust around the claim of an input file: the settings that
// decide where it goes, and the folders it goes to.
#include "Server/Ferrowin/LogCollectClaim.h"

#include <iostream>

#include "Server/Ferrowin/EventReport.h"

namespace {

// The folder part of `path` ("" when there is none).
std::string Above(std::string path) {
    const char sep = Platform::PathSeparator();
    while (path.size() > 1 && path.back() == sep) path.pop_back();
    size_t cut = path.find_last_of(sep);
    if (cut == std::string::npos)
        return "";
    return cut == 0 ? std::string(1, sep) : path.substr(0, cut);
}

// CheckTrusted on `path`, or, while it is missing, on the folders above it.
Platform::Status TrustedOrAbove(Platform::IFileSystem& files, std::string path,
                                std::string* reason) {
    for (;;) {
        Platform::Status status = files.CheckTrusted(path.empty() ? "." : path, reason);
        if (status != Platform::kFileNotFound && status != Platform::kPathNotFound)
            return status;
        std::string above = Above(path);
        if (above.empty() || above == path)
            return Platform::kSuccess;  // nothing on the way exists for anyone to change
        path = above;
    }
}

}  // namespace

bool SettingsFileTrusted(Platform::CPlatform& platform, CEventBinding& events,
                         const std::string& path) {
    std::string reason;
    // Only a check that passed trusts: a link loop, a name too long or any
    // other failure to judge the path refuses it as another user's file would.
    Platform::Status status = TrustedOrAbove(platform.files, path, &reason);
    if (status == Platform::kSuccess)
        return true;
    if (status != Platform::kAccessDenied)
        reason = path + ": cannot be checked (status " + std::to_string(status) + ")";
    std::cerr << "ferrowin: the settings file " << path
              << " can be changed by other users, so nothing is imported (" << reason << ")\n";
    events.ReportLogEvent(
        EventMessage::UntrustedSettings,
        FormatEventText(EventMessage::UntrustedSettings, {path}) + " (" + reason + ")");
    return false;
}

bool FolderTrusted(Platform::CPlatform& platform, const std::string& folder, std::string* reason) {
    std::string level = folder.empty() ? "." : folder;
    const char sep = Platform::PathSeparator();
    while (level.size() > 1 && level.back() == sep) level.pop_back();
    std::uint32_t attributes = 0;
    if (platform.files.GetAttributes(level, &attributes) == Platform::kSuccess &&
        (attributes & Platform::kAttributeReparsePoint)) {
        *reason = level + ": a symbolic link";
        return false;
    }
    Platform::Status status = TrustedOrAbove(platform.files, level, reason);
    if (status != Platform::kSuccess && status != Platform::kAccessDenied)
        *reason = level + ": cannot be checked (status " + std::to_string(status) + ")";
    return status == Platform::kSuccess;
}

bool DestinationFolderTrusted(Platform::CPlatform& platform, CEventBinding& events,
                              const std::string& path, const std::string& folder) {
    std::string reason;
    if (FolderTrusted(platform, folder, &reason))
        return true;
    events.ReportLogEvent(
        EventMessage::UntrustedFolder,
        FormatEventText(EventMessage::UntrustedFolder, {path, folder}) + " (" + reason + ")");
    return false;
}

std::string NamedAsDelivered(std::string text, const std::string& loadPath,
                             const std::string& path) {
    if (loadPath.empty() || loadPath == path)
        return text;
    for (size_t at = text.find(loadPath); at != std::string::npos;
         at = text.find(loadPath, at + path.size()))
        text.replace(at, loadPath.size(), path);
    return text;
}
