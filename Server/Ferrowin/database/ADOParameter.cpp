#include "Server/Ferrowin/database/ADOParameter.h"

#include "Server/Ferrowin/database/VariantText.h"

using namespace Ado;

CADOParameter::CADOParameter(long dataType, long size, long direction, const std::string& name)
    : CADOErrorHolder("CADOParameter Error"),
      m_parameter(Parameter::Create()),
      m_dataType(dataType) {
    m_parameter->SetDirection(direction);
    m_name = name;
    m_parameter->SetName(name);
    m_parameter->SetType(dataType);
    m_parameter->SetSize(size);
}

CADOParameter::~CADOParameter() {
    m_parameter.reset();
    m_name.clear();
}

int CADOParameter::GetValue(std::string& value, const std::string& dateFormat) {
    try {
        if (!m_parameter)
            throw ComError(kEPointer, "", "", false);
        std::optional<std::string> text = CommonVariantText(m_parameter->Value(), dateFormat);
        if (!text)
            return 0;  // VT_BOOL, VT_UI4 and the rest have no text here
        value = *text;
        return 1;
    } catch (const ComError& error) {
        RecordComError(error);
        return 0;
    }
}

int CADOParameter::SetValue(const std::string& value) {
    try {
        if (m_parameter->Size() == 0)
            m_parameter->SetSize(static_cast<long>(value.size()));
        m_parameter->SetValue(Variant::Text(value));
        return 1;
    } catch (const ComError& error) {
        RecordComError(error);
        return 0;
    }
}

int CADOParameter::SetValue(std::int32_t value) {
    try {
        if (m_parameter->Size() == 0)
            m_parameter->SetSize(sizeof value);
        m_parameter->SetValue(Variant::I4(value));
        return 1;
    } catch (const ComError& error) {
        RecordComError(error);
        return 0;
    }
}
