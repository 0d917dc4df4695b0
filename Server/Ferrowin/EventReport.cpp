#include "Server/Ferrowin/EventReport.h"

#include <cstring>
#include <iostream>
#include <string>

#include "Brennick/Helpers.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/RegistryKey.h"

namespace {

using SendLogSvrLogFunction = int (*)(const char*, const char*);

Platform::CPlatform* g_platform = nullptr;
Platform::LibraryHandle g_library = nullptr;
bool g_refusedTold = false;
SendLogSvrLogFunction g_sendLogSvrLog = nullptr;

Platform::CPlatform& EventPlatform() {
    if (!g_platform)
        g_platform = &Platform::DefaultPlatform();
    return *g_platform;
}

// The install folder from the registry, or "" when it cannot be read.
std::string ReadInstallPath(Platform::IRegistry& registry) {
    CRegistryKey key(registry);
    if (key.Open(Platform::kHKeyLocalMachine, kDbManagerKey, Platform::kKeyAllAccess) != 0)
        return "";
    char buffer[kSettingBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    if (key.QueryValue(buffer, "InstallPath", sizeof buffer, Platform::kRegSz) != 0)
        return "";
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

void Bind() {
    Platform::CPlatform& platform = EventPlatform();
    std::string folder = ReadInstallPath(platform.registry);
    if (folder.empty())
        folder = GetModuleDirectory(platform.system);
    std::string path = folder;
    if (!path.empty() && path.back() != Platform::PathSeparator())
        path += Platform::PathSeparator();
    path += Platform::LibraryFileName("pellinor");

    // The library runs with the importer's rights: one that another user can
    // replace (it, or a folder above it) is not loaded, and events are lost.
    std::string reason;
    if (platform.files.CheckTrusted(path, &reason) == Platform::kAccessDenied) {
        if (!g_refusedTold)
            std::cerr << "ferrowin: " << path << " is not loaded, other users can change it ("
                      << reason << ")\n";
        g_refusedTold = true;
        return;
    }

    Platform::LibraryHandle handle = nullptr;
    if (platform.libraries.Load(path, &handle) != Platform::kSuccess)
        handle = nullptr;
    g_library = handle;
    if (g_library)
        g_sendLogSvrLog = reinterpret_cast<SendLogSvrLogFunction>(
            platform.libraries.FindSymbol(g_library, "SendLogSvrLog"));
}

}  // namespace

void SetEventPlatform(Platform::CPlatform& platform) {
    g_platform = &platform;
}

int ReportLogEvent(const char* messageId, const char* text) {
    if (!g_library)
        Bind();
    if (!g_sendLogSvrLog)
        return 0;
    return g_sendLogSvrLog(messageId, text);
}

int ReportLogEventWithSystemError(const char* messageId, const char* text) {
    Platform::CPlatform& platform = EventPlatform();
    Platform::Status code = platform.system.LastError();
    if (!text)
        return ReportLogEvent(messageId, text);  // the library refuses it
    std::string message = std::string(text) + GetSystemErrorText(platform.system, code);
    return ReportLogEvent(messageId, message.c_str());
}

int ReportLogEvent(EventMessage message, const std::string& text) {
    return ReportLogEvent(EventId(message), text.c_str());
}

int ReportLogEventWithSystemError(EventMessage message, const std::string& text) {
    return ReportLogEventWithSystemError(EventId(message), text.c_str());
}

void UnloadEventLibrary() {
    g_sendLogSvrLog = nullptr;
    g_refusedTold = false;
    if (g_library)
        EventPlatform().libraries.Free(g_library);
    g_library = nullptr;
}

Platform::LibraryHandle EventLibraryHandle() {
    return g_library;
}

bool EventEntryBound() {
    return g_sendLogSvrLog != nullptr;
}
