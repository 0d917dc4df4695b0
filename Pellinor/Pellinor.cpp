// The exports' shared rules; the sinks live in the platform file.
#include "Pellinor/Pellinor.h"

#include <cstdlib>

#include "Pellinor/Sinks.h"

PELLINOR_API int PELLINOR_CALL SendLogSvrLog(const char* messageId, const char* text) {
    if (!messageId || !text)
        return 0;
    // atol, then the low 32 bits: "-2147472426" is event 0x80002BD6.
    auto eventId = static_cast<std::uint32_t>(std::atol(messageId));
    WriteWarningEvent(eventId, text);
    return 1;
}

PELLINOR_API int PELLINOR_CALL SendPellinor(const void* record) {
    if (!record)
        return 0;
    return SendToEngine(record) ? 1 : 0;
}
