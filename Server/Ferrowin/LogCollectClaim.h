// What the collector checks before it trusts a settings file or a
// destination folder, and how it names a claimed file in its events.
#pragma once
#include <string>

#include "Platform/Platform.h"
#include "Server/Ferrowin/EventReport.h"

// Whether a settings file may decide where files go: it, and every folder
// above it, must be changeable only by root or the importer's user (a
// missing file is judged by the nearest folder above it that exists, where
// it could be made). When not: a message on standard error, event 010119,
// and false.
bool SettingsFileTrusted(Platform::CPlatform& platform, CEventBinding& events,
                         const std::string& path);

// Whether `path` may be moved into `folder` (a backup or error folder): the
// folder is no symbolic link, and it and every level above it (or, when
// missing, above where it would be) are changeable only by root or the
// importer's user. When not: event 050605 naming both, and false.
bool DestinationFolderTrusted(Platform::CPlatform& platform, CEventBinding& events,
                              const std::string& path, const std::string& folder);

// The same check without an event: whether the folder may be made.
bool FolderTrusted(Platform::CPlatform& platform, const std::string& folder, std::string* reason);

// `text` with each `loadPath` replaced by `path`: the database's error text
// names the claimed file, the events name the file as it was delivered.
std::string NamedAsDelivered(std::string text, const std::string& loadPath,
                             const std::string& path);
