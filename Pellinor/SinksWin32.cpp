// Windows sinks: the event log and WM_COPYDATA to the engine window.
#include <windows.h>

#include "Pellinor/EngineMessage.h"
#include "Pellinor/Sinks.h"

void WriteWarningEvent(std::uint32_t eventId, const char* text) {
    HANDLE source = RegisterEventSourceA(nullptr, "VeyrithDBMSG");
    if (!source)
        return;
    const char* strings[1] = {text};
    ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, eventId, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

bool SendToEngine(const void* record) {
    HWND engine = FindWindowA(kEngineClass, nullptr);
    if (!engine)
        return false;
    COPYDATASTRUCT data;
    data.dwData = kEngineDataKind;
    data.cbData = kPellinorRecordSize;
    data.lpData = const_cast<void*>(record);
    SendMessageTimeoutA(engine, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        kEngineTimeoutMs, nullptr);
    return true;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
