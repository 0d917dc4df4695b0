// A recordset on the program's connection: runs a statement (with or without
// rows) and reads typed values of the current row.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Platform/Ado/Ado.h"
#include "Server/Ferrowin/database/ADOErrorHolder.h"

class CADODatabase;

class CADORecordset : public CADOErrorHolder {
public:
    enum RecordsetOpenOption { Unspecified = 0, Query = 1, Table = 2, StoredProc = 3 };

    CADORecordset();
    explicit CADORecordset(CADODatabase* database);
    virtual ~CADORecordset();
    CADORecordset(const CADORecordset&) = delete;
    CADORecordset& operator=(const CADORecordset&) = delete;

    // Runs `source` on `connection`. Non-zero on success (also for statements
    // without rows, which leave the recordset closed); 0 with the error
    // recorded, and a reconnection of the database after a lost connection.
    int Open(const std::shared_ptr<Ado::Connection>& connection, const std::string& source,
             int option);
    int Open(const std::string& source, int option = Query);
    int OpenTable(const std::string& table);

    // ComError escapes from these three.
    int IsOpen();
    void Close();
    long GetRecordCount();

    // Typed reads of a field of the current row by name or zero-based index.
    // Non-zero on success; a failed lookup records the error and leaves the
    // output unchanged, as does a type the target cannot take.
    int GetFieldValue(const std::string& name, std::int64_t& value);
    int GetFieldValue(const std::string& name, std::int32_t& value);
    int GetFieldValue(int index, std::int32_t& value);
    int GetFieldValue(const std::string& name, std::uint32_t& value);
    int GetFieldValue(int index, std::uint32_t& value);
    int GetFieldValue(const std::string& name, double& value);
    int GetFieldValue(int index, double& value);
    int GetFieldValue(const std::string& name, bool& value);
    int GetFieldValue(int index, bool& value);
    int GetFieldValue(const std::string& name, std::string& value,
                      const std::string& dateFormat = "");
    int GetFieldValue(int index, std::string& value, const std::string& dateFormat = "");
    int GetFieldValue(const std::string& name, Ado::Variant& value);
    int GetFieldValue(int index, Ado::Variant& value);
    int IsFieldNull(const std::string& name);
    int IsFieldEmpty(const std::string& name);

private:
    // Looks the field up; on a ComError records it and returns false.
    bool ReadField(const Ado::Variant& key, Ado::Variant* value);
    template <typename T, typename Convert>
    int Read(const Ado::Variant& key, T& out, Convert convert);
    int ReadText(const Ado::Variant& key, std::string& value, const std::string& dateFormat);

    std::shared_ptr<Ado::Recordset> m_recordset;
    std::shared_ptr<Ado::Command> m_command;
    std::shared_ptr<Ado::Connection> m_connection;
    int m_editMode = 0;
    std::string m_query;
    CADODatabase* m_database = nullptr;
};
