// The importer's side of event reporting: binds Pellinor's SendLogSvrLog on the
// first event and hands each event to it. The entry makes one binding from the
// platform it was given and passes it to the collector; one thread.
#pragma once
#include <string>

#include "Platform/Platform.h"
#include "Server/Ferrowin/MessageCatalogue.h"

class CEventBinding {
public:
    // Binds through `platform` (registry, libraries, module path, last
    // error), which outlives the binding.
    explicit CEventBinding(Platform::CPlatform& platform);
    // Unloads the library when it is still held.
    ~CEventBinding();
    CEventBinding(const CEventBinding&) = delete;
    CEventBinding& operator=(const CEventBinding&) = delete;

    // Binds the library when no module is held, then sends the event.
    // Returns SendLogSvrLog's result, or 0 when no entry point is bound.
    int ReportLogEvent(const char* messageId, const char* text);

    // As ReportLogEvent, with the system text of the thread's last error code
    // (read before anything else) appended directly to `text`.
    int ReportLogEventWithSystemError(const char* messageId, const char* text);

    // The same for an event of the catalogue: its identifier, and `text`,
    // which the caller built from the event's text and its detail.
    int ReportLogEvent(EventMessage message, const std::string& text);
    int ReportLogEventWithSystemError(EventMessage message, const std::string& text);

    // Forgets the entry point, unloads the library and forgets the module.
    // Harmless when nothing is loaded.
    void UnloadEventLibrary();

    // The binding values, for the program's own checks.
    Platform::LibraryHandle EventLibraryHandle() const { return m_library; }
    bool EventEntryBound() const { return m_sendLogSvrLog != nullptr; }

private:
    using SendLogSvrLogFunction = int (*)(const char*, const char*);

    void Bind();

    Platform::CPlatform& m_platform;
    Platform::LibraryHandle m_library = nullptr;
    bool m_refusedTold = false;
    SendLogSvrLogFunction m_sendLogSvrLog = nullptr;
};
