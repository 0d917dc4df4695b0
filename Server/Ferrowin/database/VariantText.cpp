#include "Server/Ferrowin/database/VariantText.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

std::string FormatSignificant(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    std::string text = buffer;
    // _gcvt keeps the decimal point of a whole number ("3." for 3.0).
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos)
        text += '.';
    return text;
}

std::string FormatOleDate(double date, const std::string& format) {
    Ado::DateParts parts;
    if (!Ado::OleDateToParts(date, &parts))
        return "Invalid DateTime";
    std::tm t{};
    t.tm_year = parts.year - 1900;
    t.tm_mon = parts.month - 1;
    t.tm_mday = parts.day;
    t.tm_hour = parts.hour;
    t.tm_min = parts.minute;
    t.tm_sec = parts.second;
    char buffer[256];
    size_t n = std::strftime(buffer, sizeof buffer,
                             format.empty() ? "%Y-%m-%d %H:%M:%S" : format.c_str(), &t);
    return std::string(buffer, n);
}

double DecimalToDouble(const Ado::Decimal& d) {
    double value = static_cast<double>(static_cast<std::uint32_t>(d.lo64));
    if (d.sign == 0x80)
        value = -value;
    return value / std::pow(10.0, d.scale);
}

std::optional<std::string> CommonVariantText(const Ado::Variant& v, const std::string& dateFormat) {
    using namespace Ado;
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return std::string();
        case VT_I2:
            return std::to_string(v.iVal);
        case VT_UI1:
            return std::to_string(v.bVal);
        case VT_I4:
            return std::to_string(v.lVal);
        case VT_R4:
            return FormatSignificant(v.fltVal, 10);
        case VT_R8:
            return FormatSignificant(v.dblVal, 20);
        case VT_DATE:
            return FormatOleDate(v.date, dateFormat);
        case VT_BSTR:
            return v.bstrVal;
        case VT_DECIMAL:
            return FormatSignificant(DecimalToDouble(v.decVal), 20);
        case VT_INT:
            return std::to_string(v.lVal);
        default:
            return std::nullopt;
    }
}
