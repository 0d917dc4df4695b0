// What SendPellinor delivers: the COPYDATASTRUCT fields, then the record.
// On Linux the engine reads this as one datagram from its socket: the header
// as the platform lays a COPYDATASTRUCT out, the record right after it, and
// nothing after the record.
#pragma once
#include <cstddef>
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

// Where the record starts in the datagram, and the datagram's length. A
// struct of the two would carry the compiler's padding after the record.
constexpr std::size_t kEngineRecordOffset = sizeof(CopyDataHeader);
constexpr std::size_t kEngineMessageSize = kEngineRecordOffset + kPellinorRecordSize;
