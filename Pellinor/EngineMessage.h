// What SendPellinor delivers: the COPYDATASTRUCT fields, then the record.
// On Linux the engine reads this as one datagram from its socket.
#pragma once
#include <cstdint>

#include "Pellinor/Pellinor.h"

constexpr char kEngineClass[] = "KFENGINECLASS";
constexpr std::uintptr_t kEngineDataKind = 1;  // dwData
constexpr unsigned kEngineTimeoutMs = 1000;

struct CopyDataHeader {     // COPYDATASTRUCT
    std::uintptr_t dwData;  // kEngineDataKind
    std::uint32_t cbData;   // kPellinorRecordSize
    const void* lpData;     // the sender's record address
};

struct EngineMessage {
    CopyDataHeader header;
    unsigned char record[kPellinorRecordSize];
};
