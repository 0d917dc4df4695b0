// The last failure of a database layer object: each of CADODatabase,
// CADORecordset, CADOCommand and CADOParameter keeps one, so that a failed
// operation returns 0 and leaves readable text and an HRESULT behind.
#pragma once
#include <cstdint>
#include <string>

#include "Platform/Ado/Ado.h"

class CADOErrorHolder {
public:
    // Texts of the connection and recordset objects: "ADO Error: %s(%08lx)".
    CADOErrorHolder() = default;
    // Texts of the command and parameter objects: the multi-line report
    // headed by `reportTitle` ("CADOCommand Error", "CADOParameter Error").
    explicit CADOErrorHolder(const char* reportTitle) : m_reportTitle(reportTitle) {}

    // Keeps the text and code of `error` in place of the previous ones; a
    // later success leaves them as they are.
    void RecordComError(const Ado::ComError& error);
    // The kept text cut to its first 512 characters.
    std::string GetLastErrorText() const;
    std::uint32_t GetLastErrorCode() const { return m_lastErrorCode; }

private:
    const char* m_reportTitle = nullptr;
    std::string m_lastErrorText;
    std::uint32_t m_lastErrorCode = 0;
};

// "ADO Error: %s(%08lx)" of a caught ComError, as the connection and
// recordset objects keep it.
std::string FormatAdoError(const Ado::ComError& error);

// The multi-line text that the command and parameter objects keep, headed by
// `title` ("CADOCommand Error" or "CADOParameter Error").
std::string FormatComErrorReport(const char* title, const Ado::ComError& error);

// `text` cut to its first 512 characters, as GetLastErrorText returns it.
std::string CutErrorText(const std::string& text);
