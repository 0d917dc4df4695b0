// The collector: one run over a directory of CSV log files. It loads each file
// into the table of its kind, moves it to the backup or error folder, and
// reports every failure as an event. One instance per run, on the entry's
// stack; every operation works through the platform it was given, and reports
// through the event binding it was given.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Platform.h"
#include "Schema/LogKind.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollectLedger.h"
#include "Server/Ferrowin/RunSummary.h"
#include "Server/Ferrowin/database/ADODatabase.h"

class CLogCollect {
public:
    CLogCollect(Platform::CPlatform& platform, CEventBinding& events);
    virtual ~CLogCollect();
    CLogCollect(const CLogCollect&) = delete;
    CLogCollect& operator=(const CLogCollect&) = delete;

    // The run: settings and connection, then every "*.csv" of `directory` in
    // listing order, the stored procedure once when a file was imported, the
    // release of the data-running claim, and the close. A null directory
    // returns at once; an empty one means the program's own folder.
    void Run(const char* directory);

    // Kind of a file from its base name (letter case ignored), or -1.
    LogKind GetLogKind(const char* path);

    // Loads one file and relocates it. 1 when its rows reached its table;
    // 0 when not, or when it was left for a later run. Never throws.
    int ImportLogFile(const char* path);

    // Settings, the default error folder and the connection. Non-zero when
    // the connection is open.
    int Initialize();
    // Closes the connection; harmless when it is closed.
    void Close();
    // Creates every missing folder level of `path`.
    void CreateFolderPath(const char* path);

    // `function`(`column`) over `table`, or -1 when it cannot be read.
    std::int64_t GetAggregateValue(const char* table, const char* column, const char* function);
    // Claims the data-running row; sets m_bDataRunning when the claim held.
    void BeginDataRunning();
    // Releases the claim.
    void EndDataRunning();

    // Runs "prdUpdateVYLog" and reports what it returned.
    void RunUpdateProcedure();

    // Removes what a killed run left in the input folder `folder` and in
    // the backup and error folders: copies of moves across file systems
    // whose process has ended, and rewrite copies beside their log.
    void RemoveLeftoverFiles(const std::string& folder);
    // Says once per run on standard error why a file was left for a later
    // run: the database could not take it (`reason`, its error text).
    void NoteFileLeft(const std::string& reason);
    // A statement met a lost connection or an unusable database (E_FAIL):
    // the run's summary says so, and NoteFileLeft with `reason` (by default
    // the database's last error text).
    void NoteDatabaseLost(const std::string& reason);
    void NoteDatabaseLost();
    // For a log whose path is longer than the system's file calls take:
    // reports it (010109) and returns true, so that the run leaves it.
    bool LeaveOverlongPath(const std::string& path);

    // Rewrites an install-software file so that its date field holds a valid
    // date or nothing; any other file is left alone.
    void PrepareInstallSoftwareLog(const char* path);
    // 1 when `text` begins with a valid calendar date YYYY/MM/DD.
    int IsValidDate(const char* text);

    // Read by the run, the gate and the tests.
    int DataRunning() const { return m_bDataRunning; }
    const std::string& LogFileKey(LogKind kind) const {
        return m_strLogFileKey[static_cast<std::size_t>(kind)];
    }
    const std::string& ErrorFolder() const { return m_strErrorFolder; }
    std::int32_t WriteMaxError() const { return m_nWriteMaxError; }
    std::int32_t SqlSpTimeout() const { return m_nSqlSpTimeout; }
    CADODatabase& Database() { return m_db; }
    // What this run did to each file; the entry starts and finishes it. A
    // skip of a file still being written calls m_summary.FileInFlight().
    CRunSummary& Summary() { return m_summary; }

private:
    // The operations report their events through these, which hand them to
    // the binding.
    int ReportLogEvent(const char* messageId, const char* text) {
        return m_events.ReportLogEvent(messageId, text);
    }
    int ReportLogEventWithSystemError(const char* messageId, const char* text) {
        return m_events.ReportLogEventWithSystemError(messageId, text);
    }
    int ReportLogEvent(EventMessage message, const std::string& text) {
        return m_events.ReportLogEvent(message, text);
    }
    int ReportLogEventWithSystemError(EventMessage message, const std::string& text) {
        return m_events.ReportLogEventWithSystemError(message, text);
    }

    // After the load: the imported file goes to the backup folder (or is
    // deleted), a failed one to the error folder. A claimed file is moved
    // from where the claim holds it; `path` names it in the events.
    void RelocateLogFile(const std::string& path, int imported,
                         Platform::IClaimedFile* claimed = nullptr);
    void MoveToFolder(const std::string& path, const std::string& folder, const std::string& target,
                      bool backup, Platform::IClaimedFile* claimed);
    // The install-software rewrite on a claimed file. A rewrite that cannot
    // be done throws (the file then waits for a later run), unless the file
    // is empty.
    void PrepareClaimedInstallSoftwareLog(const char* path, Platform::IClaimedFile& claimed);
    // The backup and error folders as configured ("" when not set), after
    // the relative-folder rule. While `relocating`, an unreadable
    // "InstallPath" is reported and an untrusted settings file refuses them
    // (false, with its event).
    struct CRelocationFolders {
        std::string backup, error;
    };
    bool ReadRelocationFolders(bool relocating, CRelocationFolders* folders);
    // The configured folders that are set, each with its final separator.
    std::vector<std::string> RelocationFolders();
    // Whether every folder that `path` may be moved to (the backup and error
    // folders, the default error folder) is trusted; event 050605 when not.
    bool DestinationsTrusted(const std::string& path);
    void RemoveLeftoversIn(const std::string& folder);

    // The load ledger (LogCollectLedger.cpp). Whether the file at `path` was
    // loaded before; *record describes it for the load that follows kNew.
    // `claimed`, when set, is what is read; else the file at `path`.
    LedgerLookup LookUpLoadLedger(const std::string& path, Platform::IClaimedFile* claimed,
                                  LoadRecord* record);
    // BEGIN TRANSACTION before the load. False when the file must stay.
    bool BeginLedgerTransaction();
    // After the load and the high-water mark: when rows arrived, the record
    // and the pruning of old ones, then COMMIT; otherwise ROLLBACK. False when
    // nothing was committed and the file must stay.
    bool EndLedgerTransaction(const LoadRecord& record, const char* table, int imported,
                              bool loadSucceeded, std::int64_t after);
    // ROLLBACK of a transaction that the import abandons.
    void RollBackLedgerTransaction();

    Platform::CPlatform& m_platform;
    CEventBinding& m_events;
    std::int32_t m_bDataRunning = 0;
    std::array<std::string, kLogKindCount> m_strLogFileKey;
    std::string m_strErrorFolder;
    CADODatabase m_db;
    std::int32_t m_nWriteMaxError = 10;
    std::int32_t m_nSqlSpTimeout = 3600;
    CRunSummary m_summary;
    bool m_bFileLeftNoted = false;
    // Whether the database has the load ledger: asked once per run.
    enum class LedgerState { kUnknown, kPresent, kMissing } m_ledgerState = LedgerState::kUnknown;
};
