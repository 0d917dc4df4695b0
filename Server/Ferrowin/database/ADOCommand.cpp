#include "Server/Ferrowin/database/ADOCommand.h"

#include <mutex>

#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADOParameter.h"

using namespace Ado;

CADOCommand::CADOCommand(CADODatabase* database, const std::string& commandText, long commandType)
    : CADOErrorHolder("CADOCommand Error"),
      m_command(Command::Create()),
      m_commandType(commandType),
      m_database(database) {
    m_commandText = commandText;
    m_command->SetCommandText(commandText);
    m_command->SetCommandType(commandType);
    m_command->SetActiveConnection(database ? database->GetConnection() : nullptr);
}

CADOCommand::~CADOCommand() {
    m_command.reset();
    m_commandText.clear();
}

int CADOCommand::AddParameter(CADOParameter* parameter) {
    try {
        if (!parameter)
            throw ComError(kEPointer, "", "", false);
        m_command->AppendParameter(parameter->GetParameter());
        return 1;
    } catch (const ComError& error) {
        RecordComError(error);
        return 0;
    }
}

void CADOCommand::SetTimeout(long seconds) {
    m_command->SetCommandTimeout(seconds);
}

void CADOCommand::SetText(const std::string& text) {
    m_command->SetCommandText(text);
    m_commandText = text;
}

void CADOCommand::SetType(long type) {
    m_command->SetCommandType(type);
    m_commandType = type;
}

int CADOCommand::Execute() {
    m_recordsAffected = 0;
    Variant affected;
    try {
        std::lock_guard<std::mutex> lock(StatementLock());
        // Always as a stored procedure, whatever type the command was made with.
        m_command->Execute(&affected, adCmdStoredProc);
        m_recordsAffected = affected.vt == VT_I4 ? affected.lVal : 0;
        return 1;
    } catch (const ComError& error) {
        RecordComError(error);
        if (m_database)
            m_database->ReconnectAfter(CADODatabase::Operation::Procedure, error.Error());
        return 0;
    }
}
