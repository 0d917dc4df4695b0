// The seventeen kinds of activity log: the file-name prefix that recognises a
// file, the table that receives its rows, and whether it is an asset
// inventory, loaded only while the run holds the data-running claim. This is
// the only list of prefixes and table names; the embedded schema and the
// sample generator read it too, so it depends on nothing.
#pragma once
#include <array>
#include <cstddef>

// 0 to 16 name a kind; -1 is a log file of no kind.
using LogKind = int;

constexpr LogKind kNoLogKind = -1;
constexpr int kLogKindCount = 17;

struct LogKindDef {
    LogKind index;
    const char* prefix;  // default file-name prefix, as the agents write it
    const char* table;
    bool asset;  // gated by the data-running claim
};

inline constexpr std::array<LogKindDef, kLogKindCount> kLogKinds = {{
    {0, "FileLogFile", "VY_FileOptLog", false},
    {1, "MailLogFile", "VY_MailFileLog", false},
    {2, "URLLogFile", "VY_UrlLog", false},
    {3, "PrintLogFile", "VY_PrintLog", false},
    {4, "AppStartLogFile", "VY_AplStartLog", false},
    {5, "MessengerLogFile", "VY_MessengerLog", false},
    {6, "AsVirusLogFile", "VY_AsVirus", true},
    {7, "AsWUpdateLogFile", "VY_AsWUpdate", true},
    {8, "AsWPatchLogFile", "VY_AsWPatch", true},
    {9, "AsShareFolderLogFile", "VY_AsShareFolder", true},
    {10, "AsZoneLogFile", "VY_AsZone", true},
    {11, "AsNetworkLogFile", "VY_AsNetwork", true},
    {12, "AsPCSecurityLogFile", "VY_AsPCSecurity", true},
    {13, "AsHardwareLogFile", "VY_AsHardware", true},
    {14, "AsInstallSoftwareLogFile", "VY_AsInstallSoftware", true},
    {15, "AsPrinterLogFile", "VY_AsPrinter", true},
    {16, "LogonLogFile", "VY_WinAuthLog", false},
}};

// The kind whose rows are pre-processed before the load.
constexpr LogKind kInstallSoftwareKind = 14;

constexpr bool IsLogKind(LogKind kind) {
    return kind >= 0 && kind < kLogKindCount;
}

// Asset kinds are exactly 6 to 15.
constexpr bool IsAssetKind(LogKind kind) {
    return IsLogKind(kind) && kLogKinds[static_cast<std::size_t>(kind)].asset;
}

constexpr const char* LogKindTable(LogKind kind) {
    return IsLogKind(kind) ? kLogKinds[static_cast<std::size_t>(kind)].table : nullptr;
}

static_assert([] {
    for (int i = 0; i < kLogKindCount; ++i)
        if (kLogKinds[static_cast<std::size_t>(i)].index != i ||
            kLogKinds[static_cast<std::size_t>(i)].asset != (i >= 6 && i <= 15))
            return false;
    return true;
}());
