// The database layer's own exception, for callers of the layer outside the
// importer; the layer's failures travel as ComError and stored texts.
#pragma once
#include <string>

#include "Platform/Ado/Ado.h"

class CADOException {
public:
    explicit CADOException(long errorCode = 0, const std::string& message = "")
        : m_errorCode(errorCode), m_message(message) {}
    virtual ~CADOException() = default;

    // Handlers catch CADOException* and release it with Delete.
    void Delete() { delete this; }
    const char* GetRuntimeClassName() const { return "CADOException"; }

    long m_errorCode;
    std::string m_message;
};

// Allocates a CADOException and throws the pointer.
[[noreturn]] void ThrowAdoException(long errorCode = 0, const std::string& message = "");

// "ADO Error: %s(%08lx)" of a caught ComError, as the connection and
// recordset objects keep it.
std::string FormatAdoError(const Ado::ComError& error);

// The multi-line text that the command and parameter objects keep, headed by
// `title` ("CADOCommand Error" or "CADOParameter Error").
std::string FormatComErrorReport(const char* title, const Ado::ComError& error);

// `text` cut to its first 512 characters, as every GetLastErrorText returns it.
std::string CutErrorText(const std::string& text);
