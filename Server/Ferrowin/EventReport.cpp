#include "Server/Ferrowin/EventReport.h"

#include <cstring>
#include <iostream>
#include <string>

#include "Brennick/Helpers.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/RegistryKey.h"

namespace {

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

}  // namespace

CEventBinding::CEventBinding(Platform::CPlatform& platform) : m_platform(platform) {}

CEventBinding::~CEventBinding() {
    UnloadEventLibrary();
}

void CEventBinding::Bind() {
    Platform::CPlatform& platform = m_platform;
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
        if (!m_refusedTold)
            std::cerr << "ferrowin: " << path << " is not loaded, other users can change it ("
                      << reason << ")\n";
        m_refusedTold = true;
        return;
    }

    Platform::LibraryHandle handle = nullptr;
    if (platform.libraries.Load(path, &handle) != Platform::kSuccess)
        handle = nullptr;
    m_library = handle;
    if (m_library)
        m_sendLogSvrLog = reinterpret_cast<SendLogSvrLogFunction>(
            platform.libraries.FindSymbol(m_library, "SendLogSvrLog"));
}

int CEventBinding::ReportLogEvent(const char* messageId, const char* text) {
    if (!m_library)
        Bind();
    if (!m_sendLogSvrLog)
        return 0;
    return m_sendLogSvrLog(messageId, text);
}

int CEventBinding::ReportLogEventWithSystemError(const char* messageId, const char* text) {
    Platform::CPlatform& platform = m_platform;
    Platform::Status code = platform.system.LastError();
    if (!text)
        return ReportLogEvent(messageId, text);  // the library refuses it
    std::string message = std::string(text) + GetSystemErrorText(platform.system, code);
    return ReportLogEvent(messageId, message.c_str());
}

int CEventBinding::ReportLogEvent(EventMessage message, const std::string& text) {
    return ReportLogEvent(EventId(message), text.c_str());
}

int CEventBinding::ReportLogEventWithSystemError(EventMessage message, const std::string& text) {
    return ReportLogEventWithSystemError(EventId(message), text.c_str());
}

void CEventBinding::UnloadEventLibrary() {
    m_sendLogSvrLog = nullptr;
    m_refusedTold = false;
    if (m_library)
        m_platform.libraries.Free(m_library);
    m_library = nullptr;
}
