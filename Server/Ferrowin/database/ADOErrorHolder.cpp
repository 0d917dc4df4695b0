#include "Server/Ferrowin/database/ADOErrorHolder.h"

#include <cstdio>
#include <vector>

namespace {
// A null string formats as "(null)", as the platform's printf writes it.
const char* OrNull(const char* text) {
    return text ? text : "(null)";
}
}  // namespace

std::string FormatAdoError(const Ado::ComError& error) {
    std::string description = OrNull(error.Description());
    std::vector<char> buffer(description.size() + 64);
    std::snprintf(buffer.data(), buffer.size(), "ADO Error: %s(%08lx)", description.c_str(),
                  static_cast<unsigned long>(static_cast<std::uint32_t>(error.Error())));
    return buffer.data();
}

std::string FormatComErrorReport(const char* title, const Ado::ComError& error) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lx",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(error.Error())));
    return std::string(title) + "\n\tCode = " + code +
           "\n\tCode meaning = " + OrNull(error.ErrorMessage()) +
           "\n\tSource = " + OrNull(error.Source()) +
           "\n\tDescription = " + OrNull(error.Description()) + "\n";
}

std::string CutErrorText(const std::string& text) {
    return text.substr(0, 512);
}

void CADOErrorHolder::RecordComError(const Ado::ComError& error) {
    m_lastErrorText =
        m_reportTitle ? FormatComErrorReport(m_reportTitle, error) : FormatAdoError(error);
    m_lastErrorCode = static_cast<std::uint32_t>(error.Error());
}

std::string CADOErrorHolder::GetLastErrorText() const {
    return CutErrorText(m_lastErrorText);
}
