// The import of one file: one server-side BULK INSERT, judged by the table's
// highest LogID before and after.
#include <algorithm>

#include "Platform/Ado/Ado.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"
#include "Server/Ferrowin/LogCollectClaim.h"

namespace {

// The detail of the import-failure event of a symbolic link.
constexpr char kLinkRefused[] = " (a symbolic link: links are not loaded)";
// The same for a file with more than one link (a name for a file that may
// be anyone's) or one that is no regular file.
constexpr char kEntryRefused[] =
    " (more than one link, or no regular file: such files are not loaded)";

// A path as the text of a T-SQL string literal: every apostrophe doubled, so
// that a name such as "it's.csv" loads like any other and can never end
// the literal early.
std::string QuoteLiteral(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted;
}

std::string BulkInsertStatement(const char* table, const std::string& path, int maxErrors) {
    return std::string("BULK INSERT ") + table + " FROM '" + QuoteLiteral(path) +
           "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = " +
           std::to_string(maxErrors) + " )";
}

}  // namespace

int CLogCollect::ImportLogFile(const char* path) {
    if (!path)
        return 0;
    bool begun = false;  // a ledger transaction is open
    try {
        LogKind kind = GetLogKind(path);
        // Asset kinds wait for a run that holds the claim; a file of no kind
        // stays where it is.
        if (IsAssetKind(kind) && !m_bDataRunning)
            return 0;
        if (!IsLogKind(kind))
            return 0;
        const char* table = LogKindTable(kind);

        // A symbolic link could lend the importer's rights to any file it
        // points at: it is never loaded, only moved (as a link) to the error
        // folder.
        std::uint32_t attributes = 0;
        if (m_platform.files.GetAttributes(path, &attributes) == Platform::kSuccess &&
            (attributes & Platform::kAttributeReparsePoint)) {
            ReportLogEvent(EventMessage::ImportFailed,
                           FormatEventText(EventMessage::ImportFailed, {path}) + kLinkRefused);
            RelocateLogFile(path, 0);
            return 0;
        }

        // The file is taken out of the sender's reach before anything reads
        // it: from here on the load, the rewrite and the move work on what
        // the claim holds. A file still being written waits for a later run,
        // without an event. One that is gone is loaded by its path as the
        // Parts say, and its load fails.
        std::unique_ptr<Platform::IClaimedFile> claimed;
        Platform::Status claim = m_platform.files.ClaimFile(path, &claimed);
        if (claim == Platform::kSharingViolation) {
            m_summary.FileInFlight();
            return 0;
        }
        if (claim == Platform::kAccessDenied) {
            ReportLogEvent(EventMessage::ImportFailed,
                           FormatEventText(EventMessage::ImportFailed, {path}) + kEntryRefused);
            RelocateLogFile(path, 0);
            return 0;
        }
        if (claim != Platform::kSuccess && claim != Platform::kFileNotFound &&
            claim != Platform::kPathNotFound)
            throw claim;  // no claim folder: 050501, and the file waits
        const std::string loadPath = claimed ? claimed->LoadPath() : std::string(path);

        if (claimed)
            PrepareClaimedInstallSoftwareLog(path, *claimed);
        else
            PrepareInstallSoftwareLog(path);
        // A file that the ledger holds was loaded by an earlier run that did
        // not get to move it: it is relocated as imported, never loaded again.
        LoadRecord record;
        LedgerLookup ledger = LookUpLoadLedger(path, claimed.get(), &record);
        if (ledger == LedgerLookup::kLeave)
            return 0;
        if (ledger == LedgerLookup::kLoaded) {
            m_summary.FileLoaded(table, 0);
            RelocateLogFile(path, 1, claimed.get());
            return 1;
        }
        bool ledgered = ledger == LedgerLookup::kNew;
        // Where the file may go is settled before its load: a loaded file
        // that its folder then refused would stay, and be loaded again.
        if (!DestinationsTrusted(path))
            return 0;
        std::int64_t before = GetAggregateValue(table, "LogID", "MAX");

        int imported = 0;
        bool loadFailed = false;
        std::string errorText;
        try {
            std::shared_ptr<Ado::Connection> connection = m_db.GetConnection();
            if (!connection)
                throw Ado::ComError(Ado::kEPointer, "", "", false);
            connection->SetCommandTimeout(m_nSqlSpTimeout);
            if (ledgered && !(begun = BeginLedgerTransaction()))
                return 0;
            if (!m_db.Execute(BulkInsertStatement(table, loadPath, m_nWriteMaxError))) {
                errorText = NamedAsDelivered(m_db.GetLastErrorText(), loadPath, path);
                // A lost connection: the layer has reopened it; the file
                // stays for the next run.
                if (m_db.GetLastErrorCode() == static_cast<std::uint32_t>(Ado::kEFail)) {
                    NoteDatabaseLost(errorText);
                    return 0;
                }
                loadFailed = true;
            }
            imported = 1;
        } catch (...) {
            ReportLogEvent(EventMessage::BulkLoadException,
                           EventText(EventMessage::BulkLoadException) +
                               NamedAsDelivered(m_db.GetLastErrorText(), loadPath, path));
            if (begun)
                RollBackLedgerTransaction();
            begun = false;
            imported = 0;
            RelocateLogFile(path, imported, claimed.get());
            return imported;
        }

        std::int64_t after = GetAggregateValue(table, "LogID", "MAX");
        if (after <= before) {
            imported = 0;
            ReportLogEvent(EventMessage::ImportFailed,
                           FormatEventText(EventMessage::ImportFailed, {path}) +
                               (loadFailed ? errorText : std::string()));
        }
        bool committed =
            !ledgered || EndLedgerTransaction(record, table, imported, !loadFailed, after);
        begun = false;
        if (!committed)
            return 0;
        if (imported)
            m_summary.FileLoaded(table, after - std::max<std::int64_t>(before, 0));
        RelocateLogFile(path, imported, claimed.get());
        return imported;
    } catch (...) {
        // Nothing of a load that did not reach its commit may stay pending
        // for the next file's transaction.
        if (begun)
            RollBackLedgerTransaction();
        ReportLogEventWithSystemError(EventMessage::FileAccessFailed,
                                      FormatEventText(EventMessage::FileAccessFailed, {path}));
        return 0;
    }
}
