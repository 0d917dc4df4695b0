// The load ledger. When the database has the table VY_LoadLedger, each load
// runs as one explicit transaction on the collector's connection:
//
//   BEGIN TRANSACTION
//   BULK INSERT ...                  (the statement as the import builds it)
//   SELECT MAX(LogID) ...            (the high-water mark after the load)
//   INSERT INTO VY_LoadLedger ...    (only when rows arrived)
//   DELETE FROM VY_LoadLedger ...    (at most kPruneBatch records past 90 days)
//   COMMIT TRANSACTION
//
// A kill or a lost connection before the COMMIT takes the rows and the record
// away together; after it, the next run finds the record and only relocates
// the file. Without the table the import loads as it always did, and says so
// once per run on standard error.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "Platform/Ado/Ado.h"
#include "Platform/Sha256.h"
#include "Schema/LogSchema.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"
#include "Server/Ferrowin/database/ADORecordset.h"

namespace {

using Schema::kLedgerTable;
constexpr int kKeepDays = 90;
// Records removed by one load at most, so that a ledger that grew while the
// pruning was off costs each load little. The oldest of them is found through
// the index on LoadedAt ("LedgerID + 0" keeps a database from walking the
// whole table in LedgerID order instead, which costs every load the size of
// the ledger).
constexpr int kPruneBatch = 100;

constexpr char kBegin[] = "BEGIN TRANSACTION";
constexpr char kCommit[] = "COMMIT TRANSACTION";
constexpr char kRollBack[] = "ROLLBACK TRANSACTION";

// A text as a T-SQL string literal, every apostrophe doubled.
std::string Literal(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

std::string BaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('\\') + 1);
    return name.substr(name.find_last_of('/') + 1);
}

// A local time `daysBack` days earlier as an ISO 8601 literal, which SQL
// Server reads the same under every language setting.
std::string TimeLiteral(const Platform::LocalTime& now, int daysBack) {
    using namespace std::chrono;
    year_month_day day{sys_days{year{now.year} / month{static_cast<unsigned>(now.month)} /
                                std::chrono::day{static_cast<unsigned>(now.day)}} -
                       days{daysBack}};
    char text[32];
    std::snprintf(text, sizeof text, "'%04d-%02u-%02uT%02d:%02d:%02d'",
                  static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()), now.hour, now.minute, now.second);
    return text;
}

void ReportLedgerFailure(CEventBinding& events, const std::string& text) {
    events.ReportLogEvent(EventMessage::BookkeepingOpenFailed,
                          EventText(EventMessage::BookkeepingOpenFailed) + text);
}

}  // namespace

LedgerLookup CLogCollect::LookUpLoadLedger(const std::string& path, Platform::IClaimedFile* claimed,
                                           LoadRecord* record) {
    if (m_ledgerState == LedgerState::kMissing || !m_db.IsOpen())
        return m_ledgerState == LedgerState::kMissing ? LedgerLookup::kUnprotected
                                                      : LedgerLookup::kLeave;
    if (m_ledgerState == LedgerState::kUnknown) {
        // A table that is there answers with one row (a count of 0).
        CADORecordset probe(&m_db);
        bool opened =
            probe.Open(std::string("SELECT COUNT(*) as n FROM ") + kLedgerTable + " WHERE 1 = 0");
        if (opened && probe.IsOpen() && probe.GetRecordCount() != 0) {
            probe.Close();
            m_ledgerState = LedgerState::kPresent;
        } else if (!opened && probe.GetLastErrorCode() == static_cast<std::uint32_t>(Ado::kEFail)) {
            return LedgerLookup::kLeave;  // asked again with the next file
        } else {
            m_ledgerState = LedgerState::kMissing;
            std::cerr << "ferrowin: the database has no table " << kLedgerTable
                      << ": loads are not protected against a second load of the same file "
                         "(Database/VeyrithLoadLedger.sql creates it)\n";
            return LedgerLookup::kUnprotected;
        }
    }

    // The content as it will be loaded, piece by piece from what the claim
    // holds; a file that cannot be read is left by the import's own handler.
    Platform::CSha256 hash;
    std::uint64_t size = 0;
    auto take = [&](const char* data, std::size_t n) {
        hash.Update(data, n);
        size += n;
    };
    Platform::Status read;
    if (claimed) {
        read = claimed->ReadPieces(take);
    } else {
        std::string content;
        read = m_platform.files.ReadWhole(path, &content);
        if (read == Platform::kSuccess)
            take(content.data(), content.size());
    }
    if (read != Platform::kSuccess)
        throw std::runtime_error("cannot read " + path);
    record->name = BaseName(path);
    record->size = size;
    record->hash = hash.FinishHex();

    CADORecordset lookup(&m_db);
    if (!lookup.Open(std::string("SELECT COUNT(*) as n FROM ") + kLedgerTable +
                     " WHERE FileName = " + Literal(record->name) +
                     " AND FileSize = " + std::to_string(record->size) +
                     " AND ContentHash = " + Literal(record->hash))) {
        if (lookup.GetLastErrorCode() != static_cast<std::uint32_t>(Ado::kEFail))
            ReportLedgerFailure(m_events, lookup.GetLastErrorText());
        return LedgerLookup::kLeave;
    }
    std::int64_t found = 0;
    if (lookup.IsOpen() && lookup.GetRecordCount() != 0)
        lookup.GetFieldValue("n", found);
    lookup.Close();
    return found > 0 ? LedgerLookup::kLoaded : LedgerLookup::kNew;
}

bool CLogCollect::BeginLedgerTransaction() {
    if (m_db.Execute(kBegin))
        return true;
    if (m_db.GetLastErrorCode() != static_cast<std::uint32_t>(Ado::kEFail))
        ReportLedgerFailure(m_events, m_db.GetLastErrorText());
    else
        NoteDatabaseLost();
    return false;
}

void CLogCollect::RollBackLedgerTransaction() {
    m_db.Execute(kRollBack);  // a transaction already gone with its connection is no fault
}

bool CLogCollect::EndLedgerTransaction(const LoadRecord& record, const char* table, int imported,
                                       bool loadSucceeded, std::int64_t after) {
    if (!imported) {
        RollBackLedgerTransaction();
        return true;
    }
    Platform::LocalTime now = m_platform.system.Now();
    std::string cutoff = TimeLiteral(now, kKeepDays);
    std::string rows = loadSucceeded ? std::to_string(m_db.GetRecordsAffected()) : "NULL";
    const std::string statements[] = {
        std::string("INSERT INTO ") + kLedgerTable +
            " (FileName, FileSize, ContentHash, TableName, LoadedRows, MaxLogID, LoadedAt) "
            "VALUES (" +
            Literal(record.name) + ", " + std::to_string(record.size) + ", " +
            Literal(record.hash) + ", " + Literal(table) + ", " + rows + ", " +
            std::to_string(after) + ", " + TimeLiteral(now, 0) + ")",
        std::string("DELETE FROM ") + kLedgerTable + " WHERE LoadedAt < " + cutoff +
            " AND LedgerID < (SELECT MIN(LedgerID + 0) FROM " + kLedgerTable +
            " WHERE LoadedAt < " + cutoff + ") + " + std::to_string(kPruneBatch),
        kCommit,
    };
    for (const std::string& sql : statements) {
        if (m_db.Execute(sql))
            continue;
        // Nothing is committed: the rows go with the record, and the file
        // stays for the next run.
        if (m_db.GetLastErrorCode() != static_cast<std::uint32_t>(Ado::kEFail)) {
            ReportLedgerFailure(m_events, m_db.GetLastErrorText());
            RollBackLedgerTransaction();
        } else {
            NoteDatabaseLost();
        }
        return false;
    }
    return true;
}
