// SQL Server's conversions of BULK INSERT fields.
#include "Platform/Ado/Embedded/BulkValues.h"

#include <cstring>

namespace Ado::Embedded {

void Trim(const char*& p, size_t& n) {
    while (n > 0 && (*p == ' ' || *p == '\t')) ++p, --n;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t')) --n;
}

size_t FieldLimit(const Schema::ColumnDef& column) {
    switch (column.type) {
        case Schema::ColumnType::VarChar:
            return static_cast<size_t>(column.size);
        case Schema::ColumnType::NVarChar:
            return 4 * static_cast<size_t>(column.size);
        default:
            return kScalarFieldLimit;
    }
}

bool ParseInteger(const char* p, size_t n, long long low, long long high, long long* value) {
    Trim(p, n);
    if (n == 0)
        return false;
    bool negative = *p == '-';
    size_t i = (*p == '-' || *p == '+') ? 1 : 0;
    if (i == n)
        return false;
    while (i + 1 < n && p[i] == '0') ++i;
    if (n - i > 19)
        return false;
    unsigned long long magnitude = 0;
    for (; i < n; ++i) {
        unsigned digit = static_cast<unsigned char>(p[i]) - '0';
        if (digit > 9)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude > (negative ? (1ULL << 63) : (1ULL << 63) - 1))
        return false;
    long long v =
        negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

namespace {

// A cursor over a field for the date parser.
struct CDateText {
    const char* p;
    size_t n;
    size_t at = 0;

    bool End() const { return at == n; }
    bool Take(char c) {
        if (at < n && p[at] == c)
            return ++at, true;
        return false;
    }
    // Between `least` and `most` digits; `count` receives how many were read.
    bool Number(size_t least, size_t most, int* value, size_t* count = nullptr) {
        size_t start = at;
        int v = 0;
        while (at < n && at - start < most && p[at] >= '0' && p[at] <= '9')
            v = v * 10 + (p[at++] - '0');
        if (at - start < least)
            return false;
        *value = v;
        if (count)
            *count = at - start;
        return true;
    }
};

constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int DaysInMonth(int year, int month) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The time after a date: h:m[:s[.f|:f]] with one or two digits for hours,
// minutes and seconds, and one to three for the fraction. After a period the
// fraction is decimal (.5 is 500 ms); after a colon it counts milliseconds.
// `strict`: ISO 8601 after T, hh:mm:ss[.fff] with every part of two digits.
bool ParseTime(CDateText& t, bool strict, int* h, int* mi, int* se, int* ms) {
    size_t most = 2, least = strict ? 2 : 1;
    if (!t.Number(least, most, h) || !t.Take(':') || !t.Number(least, most, mi))
        return false;
    if (t.End())
        return !strict;
    if (!t.Take(':') || !t.Number(least, most, se))
        return false;
    if (t.End())
        return true;
    bool period = t.Take('.');
    if (!period && (strict || !t.Take(':')))
        return false;
    size_t digits = 0;
    if (!t.Number(1, 3, ms, &digits) || !t.End())
        return false;
    if (period)
        for (size_t k = digits; k < 3; ++k) *ms *= 10;
    return true;
}

}  // namespace

bool ParseDateTime(const char* p, size_t n, char* out) {
    Trim(p, n);
    CDateText t{p, n};
    int y, mo, d, h = 0, mi = 0, se = 0, ms = 0;
    size_t yearDigits = 0;
    if (!t.Number(4, 8, &y, &yearDigits))
        return false;
    if (yearDigits == 8) {  // unseparated yyyymmdd
        d = y % 100;
        mo = y / 100 % 100;
        y /= 10000;
        if (!t.End() && (!t.Take(' ') || !ParseTime(t, false, &h, &mi, &se, &ms)))
            return false;
    } else if (yearDigits != 4) {
        return false;
    } else {
        char separator = t.at < n ? p[t.at] : '\0';
        if ((separator != '-' && separator != '/' && separator != '.') || !t.Take(separator) ||
            !t.Number(1, 2, &mo) || !t.Take(separator) || !t.Number(1, 2, &d))
            return false;
        bool iso = separator == '-' && t.at == 10 && t.Take('T');
        if (iso) {
            if (!ParseTime(t, true, &h, &mi, &se, &ms))
                return false;
        } else if (!t.End() && (!t.Take(' ') || !ParseTime(t, false, &h, &mi, &se, &ms))) {
            return false;
        }
    }
    if (y < 1753 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo))
        return false;
    if (h > 23 || mi > 59 || se > 59)
        return false;
    // DATETIME keeps 1/300 second: .002 is stored as .003, .999 as the next
    // second (which may carry into the next year).
    int ticks = (ms * 3 + 5) / 10;
    if (ticks == 300) {
        ticks = 0;
        if (++se == 60 && ((se = 0), ++mi == 60) && ((mi = 0), ++h == 24)) {
            h = 0;
            if (++d > DaysInMonth(y, mo) && ((d = 1), ++mo == 13)) {
                mo = 1;
                if (++y > 9999)
                    return false;
            }
        }
    }
    ms = (ticks * 10 + 1) / 3;
    auto put = [&out](size_t at, int value, int width) {
        for (int k = width - 1; k >= 0; --k, value /= 10)
            out[at + static_cast<size_t>(k)] = static_cast<char>('0' + value % 10);
    };
    std::memcpy(out, "0000-00-00 00:00:00.000", 24);
    put(0, y, 4);
    put(5, mo, 2);
    put(8, d, 2);
    put(11, h, 2);
    put(14, mi, 2);
    put(17, se, 2);
    put(20, ms, 3);
    return true;
}

bool ValidUtf8(const char* p, size_t n, size_t* characters) {
    size_t count = 0;
    for (size_t i = 0; i < n; ++count) {
        auto c = static_cast<unsigned char>(p[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > n)
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(p[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    *characters = count;
    return true;
}

}  // namespace Ado::Embedded
