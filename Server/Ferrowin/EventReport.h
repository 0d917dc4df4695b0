// The importer's side of event reporting: binds Pellinor's SendLogSvrLog on the
// first event and hands each event to it. Process-wide state, one thread.
#pragma once
#include <string>

#include "Platform/Platform.h"
#include "Server/Ferrowin/MessageCatalogue.h"

// The platform that binding uses (registry, libraries, module path, last
// error). The entry sets it once; until then the operating system's own.
void SetEventPlatform(Platform::CPlatform& platform);

// Binds the library when no module is held, then sends the event. Returns
// SendLogSvrLog's result, or 0 when no entry point is bound.
int ReportLogEvent(const char* messageId, const char* text);

// As ReportLogEvent, with the system text of the thread's last error code
// (read before anything else) appended directly to `text`.
int ReportLogEventWithSystemError(const char* messageId, const char* text);

// The same for an event of the catalogue: its identifier, and `text`, which
// the caller built from the event's text and its detail.
int ReportLogEvent(EventMessage message, const std::string& text);
int ReportLogEventWithSystemError(EventMessage message, const std::string& text);

// Forgets the entry point, unloads the library and forgets the module.
void UnloadEventLibrary();

// The binding values, for the program's own checks.
Platform::LibraryHandle EventLibraryHandle();
bool EventEntryBound();
