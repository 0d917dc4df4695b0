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
    // 0100-01-01 to 9999-12-31, the range of an OLE date.
    if (!(date >= -657434.0 && date < 2958466.0))
        return "Invalid DateTime";
    // The whole part counts days from 1899-12-30 and the fraction, taken as
    // positive, is the time of day.
    double whole = std::trunc(date);
    long day = static_cast<long>(whole);
    long seconds = std::lround(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += date < 0 ? -1 : 1;
    }
    long z = day - 25569 + 719468;  // days since 0000-03-01
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    std::tm t{};
    t.tm_mday = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.tm_mon = static_cast<int>(mp < 10 ? mp + 2 : mp - 10);
    t.tm_year = static_cast<int>(yoe + era * 400 + (t.tm_mon <= 1)) - 1900;
    t.tm_hour = static_cast<int>(seconds / 3600);
    t.tm_min = static_cast<int>(seconds / 60 % 60);
    t.tm_sec = static_cast<int>(seconds % 60);
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
