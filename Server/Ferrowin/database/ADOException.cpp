#include "Server/Ferrowin/database/ADOException.h"

#include <cstdio>

void ThrowAdoException(long errorCode, const std::string& message) {
    throw new CADOException(errorCode, message);
}

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
