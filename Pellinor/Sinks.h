// The two sinks, one implementation per operating system.
#pragma once
#include <cstdint>

// Writes a warning event; failures are not reported.
void WriteWarningEvent(std::uint32_t eventId, const char* text);

// Sends the record to the engine. False only when no engine exists; a send
// that fails or times out still counts as sent.
bool SendToEngine(const void* record);
