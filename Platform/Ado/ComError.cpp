// ComError: what a failed call carries, and the system text of its HRESULT
// (the "Code meaning" of the database layer's reports).
#include <cstdio>

#include "Platform/Ado/Ado.h"

namespace Ado {

ComError::ComError(HRESULT hr, std::string description, std::string source, bool hasErrorInfo)
    : std::runtime_error(description),
      m_hr(hr),
      m_description(std::move(description)),
      m_source(std::move(source)),
      m_hasInfo(hasErrorInfo) {}

// The system message table, as far as the layer meets it.
std::string SystemMessageText(HRESULT hr) {
    struct Entry {
        HRESULT hr;
        const char* text;
    };
    static const Entry kTable[] = {
        {kSOk, "The operation completed successfully.\r\n"},
        {kEFail, "Unspecified error\r\n"},
        {kEPointer, "Invalid pointer\r\n"},
        {kEOutOfMemory,
         "Not enough memory resources are available to complete this operation.\r\n"},
        {kEInvalidArg, "The parameter is incorrect.\r\n"},
        {kENotImpl, "Not implemented\r\n"},
        {kEUnexpected, "Catastrophic failure\r\n"},
    };
    for (const Entry& e : kTable)
        if (e.hr == hr)
            return e.text;
    return "";
}

const char* ComError::ErrorMessage() const {
    if (m_messageMade)
        return m_message.c_str();
    m_messageMade = true;
    m_message = SystemMessageText(m_hr);
    if (!m_message.empty()) {
        if (m_message.size() > 1 && m_message.back() == '\n') {
            m_message.pop_back();
            if (!m_message.empty() && m_message.back() == '\r')
                m_message.pop_back();
        }
        return m_message.c_str();
    }
    char buffer[32];
    auto code = static_cast<std::uint32_t>(m_hr);
    std::uint32_t dispatch = code >= 0x80040200u && code <= 0x8004FFFFu ? code - 0x80040200u : 0;
    if (dispatch != 0)
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(dispatch));
    else
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(code));
    m_message = buffer;
    return m_message.c_str();
}

}  // namespace Ado
