// One parameter of a stored procedure call.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Platform/Ado/Ado.h"
#include "Server/Ferrowin/database/ADOErrorHolder.h"

class CADOParameter : public CADOErrorHolder {
public:
    // ComError escapes from the constructor.
    CADOParameter(long dataType, long size, long direction, const std::string& name);
    virtual ~CADOParameter();
    CADOParameter(const CADOParameter&) = delete;
    CADOParameter& operator=(const CADOParameter&) = delete;

    // The value as text. Non-zero when converted; 0 for a type without text
    // (the text is then left as it was) or with the error recorded.
    int GetValue(std::string& value, const std::string& dateFormat = "");
    int SetValue(const std::string& value);
    int SetValue(std::int32_t value);

    std::shared_ptr<Ado::Parameter> GetParameter() const { return m_parameter; }
    std::string GetName() const { return m_name; }

private:
    std::shared_ptr<Ado::Parameter> m_parameter;
    std::string m_name;
    long m_dataType;
};
