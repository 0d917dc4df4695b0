// The stored procedure that runs once after the loads.
#include "Brennick/Helpers.h"
#include "Platform/Ado/Ado.h"
#include "Schema/LogSchema.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"
#include "Server/Ferrowin/database/ADOCommand.h"
#include "Server/Ferrowin/database/ADOParameter.h"

void CLogCollect::RunUpdateProcedure() {
    try {
        CADOCommand command(&m_db, Schema::kUpdateProcedure, Ado::adCmdStoredProc);
        CADOParameter result(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
        command.AddParameter(&result);
        try {
            command.SetTimeout(m_nSqlSpTimeout);
            int executed = command.Execute();
            // The procedure's own message counts whatever the call returned.
            std::string message;
            if (result.GetValue(message)) {
                TrimBlanks(message);
                if (!message.empty())
                    ReportLogEvent(EventMessage::ProcedureReturnedError,
                                   EventText(EventMessage::ProcedureReturnedError) + message);
            }
            if (!executed)
                ReportLogEvent(
                    EventMessage::ProcedureFailed,
                    EventText(EventMessage::ProcedureFailed) + command.GetLastErrorText());
        } catch (...) {
            ReportLogEvent(
                EventMessage::ProcedureExecuteException,
                EventText(EventMessage::ProcedureExecuteException) + command.GetLastErrorText());
        }
    } catch (...) {
        ReportLogEventWithSystemError(EventMessage::ProcedurePrepareException,
                                      EventText(EventMessage::ProcedurePrepareException));
    }
}
