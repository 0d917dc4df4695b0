// A stored procedure call on the program's connection.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Platform/Ado/Ado.h"
#include "Server/Ferrowin/database/ADOErrorHolder.h"

class CADODatabase;
class CADOParameter;

class CADOCommand : public CADOErrorHolder {
public:
    // ComError escapes from the constructor and from SetTimeout.
    CADOCommand(CADODatabase* database, const std::string& commandText, long commandType);
    virtual ~CADOCommand();
    CADOCommand(const CADOCommand&) = delete;
    CADOCommand& operator=(const CADOCommand&) = delete;

    // Appends the parameter's object; the caller keeps the CADOParameter
    // alive until it has read the value after Execute.
    int AddParameter(CADOParameter* parameter);
    void SetTimeout(long seconds);
    void SetText(const std::string& text);
    void SetType(long type);

    // Calls the procedure (always as a stored procedure) under the statement
    // lock. Non-zero on success; 0 with the error recorded, and after E_FAIL
    // the database has reconnected.
    int Execute();

    long GetRecordsAffected() const { return m_recordsAffected; }

private:
    std::shared_ptr<Ado::Command> m_command;
    long m_commandType;
    long m_recordsAffected = 0;
    std::string m_commandText;
    CADODatabase* m_database;
};
