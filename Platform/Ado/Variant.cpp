// Variant factories and the OLE date serial: days since 1899-12-30, the time
// of day as the fraction, counted forward even before that day.
#include <cmath>

#include "Platform/Ado/Ado.h"

namespace Ado {

Variant Variant::Null() {
    Variant v;
    v.vt = VT_NULL;
    return v;
}
Variant Variant::I2(std::int16_t x) {
    Variant v;
    v.vt = VT_I2;
    v.iVal = x;
    return v;
}
Variant Variant::I4(std::int32_t x) {
    Variant v;
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}
Variant Variant::I8(std::int64_t x) {
    Variant v;
    v.vt = VT_I8;
    v.llVal = x;
    return v;
}
Variant Variant::R4(float x) {
    Variant v;
    v.vt = VT_R4;
    v.fltVal = x;
    return v;
}
Variant Variant::R8(double x) {
    Variant v;
    v.vt = VT_R8;
    v.dblVal = x;
    return v;
}
Variant Variant::Date(double x) {
    Variant v;
    v.vt = VT_DATE;
    v.date = x;
    return v;
}
Variant Variant::Bool(bool x) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = x ? kVariantTrue : kVariantFalse;
    return v;
}
Variant Variant::Text(std::string x) {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = std::move(x);
    return v;
}
Variant Variant::Dec(Decimal x) {
    Variant v;
    v.vt = VT_DECIMAL;
    v.decVal = x;
    return v;
}

double OleDateFromParts(const DateParts& p) {
    // Days from civil (proleptic Gregorian), counted from 1970-01-01.
    int y = p.year - (p.month <= 2);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (p.month + (p.month > 2 ? -3 : 9)) + 2) / 5 + p.day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long days = static_cast<long>(era) * 146097 + doe - 719468;
    double serial = static_cast<double>(days + 25569);
    double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second + p.fraction) / 86400.0;
    return serial >= 0 ? serial + time : serial - time;
}

bool OleDateToParts(double date, DateParts* parts) {
    if (!(date >= -657434.0 && date < 2958466.0))
        return false;
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
    parts->day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    parts->month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    parts->year = static_cast<int>(yoe + era * 400 + (parts->month <= 2));
    parts->hour = static_cast<int>(seconds / 3600);
    parts->minute = static_cast<int>(seconds / 60 % 60);
    parts->second = static_cast<int>(seconds % 60);
    parts->fraction = 0;
    return true;
}

}  // namespace Ado
