// The bookkeeping around the loads: a table's highest LogID, and the
// data-running row that lets this run load the asset kinds.
#include "Schema/LogSchema.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"
#include "Server/Ferrowin/database/ADORecordset.h"

namespace {

const std::string kReadDataRunning =
    std::string("select DataRunning from ") + Schema::kDataRunningTable;
const std::string kInsertDataRunning =
    std::string("insert into ") + Schema::kDataRunningTable + " values(0)";
const std::string kClaimDataRunning =
    std::string("UPDATE ") + Schema::kDataRunningTable + " set DataRunning = 1";
const std::string kReleaseDataRunning =
    std::string("UPDATE ") + Schema::kDataRunningTable + " set DataRunning = 0";

void ReportOpenFailed(CEventBinding& events, const CADORecordset& recordset) {
    events.ReportLogEvent(
        EventMessage::BookkeepingOpenFailed,
        EventText(EventMessage::BookkeepingOpenFailed) + recordset.GetLastErrorText());
}

void ReportException(CEventBinding& events) {
    events.ReportLogEventWithSystemError(EventMessage::BookkeepingException,
                                         EventText(EventMessage::BookkeepingException));
}

}  // namespace

std::int64_t CLogCollect::GetAggregateValue(const char* table, const char* column,
                                            const char* function) {
    try {
        if (!m_db.IsOpen())
            return -1;
        std::string sql =
            std::string("SELECT ") + function + "(" + column + ") as " + column + " FROM " + table;
        CADORecordset recordset(&m_db);
        if (!recordset.Open(sql)) {
            ReportOpenFailed(m_events, recordset);
            return -1;
        }
        std::int64_t value = -1;
        if (recordset.GetRecordCount() != 0)
            recordset.GetFieldValue(column, value);
        recordset.Close();
        return value;
    } catch (...) {
        ReportException(m_events);
        return -1;
    }
}

void CLogCollect::BeginDataRunning() {
    try {
        m_bDataRunning = 0;
        if (!m_db.IsOpen())
            return;
        CADORecordset recordset(&m_db);
        if (!recordset.Open(kReadDataRunning)) {
            ReportOpenFailed(m_events, recordset);
            return;
        }
        std::int32_t value = -1;
        if (recordset.GetRecordCount() != 0)
            recordset.GetFieldValue("DataRunning", value);
        else
            recordset.Open(kInsertDataRunning);  // its outcome plays no part
        // 2 or more belongs to someone else and is never changed here.
        if (value <= 1) {
            if (recordset.Open(kClaimDataRunning))
                m_bDataRunning = 1;
        } else {
            m_bDataRunning = 0;
        }
        recordset.Close();
    } catch (...) {
        ReportException(m_events);
    }
}

void CLogCollect::EndDataRunning() {
    try {
        if (!m_db.IsOpen())
            return;
        CADORecordset recordset(&m_db);
        if (recordset.Open(kReleaseDataRunning))
            recordset.Close();
        else
            ReportOpenFailed(m_events, recordset);
    } catch (...) {
        ReportException(m_events);
    }
}
