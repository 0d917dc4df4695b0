// Turning field and parameter values into text, as the recordset's and the
// parameter's string readers do.
#pragma once
#include <optional>
#include <string>

#include "Platform/Ado/Ado.h"

// Significant digits as _gcvt writes them: fixed notation when the exponent
// allows, exponential otherwise.
std::string FormatSignificant(double value, int digits);

// An OLE date with a strftime-style format ("%Y-%m-%d %H:%M:%S" when empty);
// "Invalid DateTime" outside the representable range.
std::string FormatOleDate(double date, const std::string& format);

// The value of a DECIMAL from the low 32 bits of its mantissa.
double DecimalToDouble(const Ado::Decimal& d);

// The text of a value for the types both string readers share; nothing for
// the types a reader handles itself or refuses.
std::optional<std::string> CommonVariantText(const Ado::Variant& v, const std::string& dateFormat);
