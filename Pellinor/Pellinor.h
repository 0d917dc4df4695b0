// Pellinor: the notification library. Two exports, cdecl, by name.
#pragma once
#include <cstdint>

#if defined(_WIN32)
#define PELLINOR_API extern "C" __declspec(dllexport)
#define PELLINOR_CALL __cdecl
#else
#define PELLINOR_API extern "C" __attribute__((visibility("default")))
#define PELLINOR_CALL
#endif

// Size of the record that SendPellinor hands to the engine.
constexpr std::uint32_t kPellinorRecordSize = 564;

// Writes one warning event from the source "VeyrithDBMSG": the identifier text
// is turned into the event number with atol, the text is the event's only
// insertion string. Returns 0 for a null argument, else 1 (also when the
// event could not be written).
PELLINOR_API int PELLINOR_CALL SendLogSvrLog(const char* messageId, const char* text);

// Hands the 564-byte record to the engine window of class "KFENGINECLASS".
// Returns 0 for a null record or a missing engine, else 1 (also when the
// engine did not take the record within 1,000 ms).
PELLINOR_API int PELLINOR_CALL SendPellinor(const void* record);
