// Every event the importer sends: its message identifier and its fixed text.
// Callers name the event; the identifiers and texts live only in the table.
#pragma once
#include <initializer_list>
#include <string>

#include "Platform/System.h"

enum class EventMessage {
    ProcedureReturnedError,     // 010101 + the procedure's message
    ConfigurationException,     // 010103 + system text
    CloseException,             // 010104 + connection text
    ProcedureExecuteException,  // 010105 + command text
    ProcedurePrepareException,  // 010106 + system text
    BulkLoadException,          // 010108 + connection text
    ImportFailed,               // 010109 "[%s]" path (+ connection text)
    ProcedureFailed,            // 010109 + command text
    DsnNameUnreadable,          // 010114 + system text
    DbUserIdUnreadable,         // 010115 + system text
    DbPasswordUnreadable,       // 010116 + system text
    InstallPathUnreadable,      // 010117 + system text
    ProductKeyUnopenable,       // 010118 + system text
    UntrustedSettings,          // 010119 settings file, + why
    BookkeepingOpenFailed,      // 010121 + recordset text
    BookkeepingException,       // 010122 + system text
    ConnectFailed,              // 010201 + connection text
    FileAccessFailed,           // 050501 path, + system text
    FileDeleteFailed,           // 050601 path, + system text
    FileMoveFailed,             // 050602 path, + system text
    BackupMoveFailed,           // 050603 path, backup folder, + system text
    ErrorMoveFailed,            // 050603 path, error folder, + system text
    BackupRenameFailed,         // 050604 path twice, + system text
    ErrorRenameFailed,          // 050604 path twice, + system text
    UntrustedFolder,            // 050605 path, folder, + why
    ImportFailureNotice,        // -2147472426 local time, path
};

struct CatalogueEntry {
    EventMessage message;
    const char* id;
    const char* text;  // may hold %s places, filled by FormatEventText
};

// The whole catalogue, in the order of EventMessage.
extern const CatalogueEntry kCatalogue[];
extern const std::size_t kCatalogueSize;

const char* EventId(EventMessage message);
const char* EventText(EventMessage message);

// The event's text with each %s replaced, in order, by the next argument. The
// arguments are inserted as they are and never read as a format.
std::string FormatEventText(EventMessage message, std::initializer_list<std::string> arguments);

// The event number of the import-failure notice, 0x80002BD6, as the signed
// decimal text the library reads back with atol: "-2147472426".
constexpr long kImportFailureEventNumber = static_cast<long>(static_cast<int>(0x80002BD6u));
std::string ImportFailureNoticeId();

// A local time as "YYYY/MM/DD hh:mm:ssmmm" (no separator before the
// milliseconds), as the import-failure notice carries it.
std::string FormatNoticeTime(const Platform::LocalTime& time);
