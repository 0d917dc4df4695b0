// SQL Server's conversions of BULK INSERT fields, as tables of cases: what a
// field converts to, and what the server refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/Ado/Embedded/BulkValues.h"

namespace {

using namespace Ado::Embedded;

struct IntegerCase {
    std::string text;
    bool wide;  // BIGINT, else INT
    bool converts;
    long long value;
};

TEST(BulkValues, IntegersConvertAsTheServerDoes) {
    const std::vector<IntegerCase> cases = {
        {"42", false, true, 42},
        {" \t-7 \t", false, true, -7},
        {"+5", false, true, 5},
        {"0", false, true, 0},
        {"2147483647", false, true, 2147483647LL},
        {"-2147483648", false, true, -2147483648LL},
        {"2147483648", false, false, 0},  // past INT
        {"2147483648", true, true, 2147483648LL},
        {"9223372036854775807", true, true, 9223372036854775807LL},
        {"-9223372036854775808", true, true, -9223372036854775807LL - 1},
        {"9223372036854775808", true, false, 0},   // past BIGINT
        {"99999999999999999999", true, false, 0},  // 20 digits
        // Leading zeros do not count against the 19 digits.
        {"0000000000000000000000000012", true, true, 12},
        {"", false, false, 0},
        {"   ", false, false, 0},
        {"-", false, false, 0},
        {"+", false, false, 0},
        {"12a", false, false, 0},
        {"1 2", false, false, 0},
        {"1.0", false, false, 0},
        {"--1", false, false, 0},
    };
    for (const IntegerCase& c : cases) {
        long long value = -12345;
        bool converts = ParseInteger(c.text.data(), c.text.size(), c.wide ? INT64_MIN : INT32_MIN,
                                     c.wide ? INT64_MAX : INT32_MAX, &value);
        EXPECT_EQ(converts, c.converts) << "'" << c.text << "'";
        EXPECT_EQ(value, c.converts ? c.value : -12345) << "'" << c.text << "'";
    }
}

struct DateCase {
    std::string text;
    const char* stored;  // nullptr: the server refuses it
};

TEST(BulkValues, DatesConvertToDateTimeRoundedToItsTicks) {
    const std::vector<DateCase> cases = {
        {"2024-02-29T13:45:30.123", "2024-02-29 13:45:30.123"},
        {"2024-02-29T13:45:30", "2024-02-29 13:45:30.000"},
        {"2024-01-05 07:05", "2024-01-05 07:05:00.000"},
        {" 2024-01-05 07:05:09 ", "2024-01-05 07:05:09.000"},
        {"20240115", "2024-01-15 00:00:00.000"},
        {"20240115 23:59:59", "2024-01-15 23:59:59.000"},
        {"2024/1/5 7:05", "2024-01-05 07:05:00.000"},
        {"2024.1.5", "2024-01-05 00:00:00.000"},
        // After a period the fraction is decimal, after a colon milliseconds.
        {"2024-01-05 7:05:09.5", "2024-01-05 07:05:09.500"},
        {"2024-01-05 7:05:09:5", "2024-01-05 07:05:09.007"},
        // 1/300 second: .002 is stored as .003, .999 as the next second,
        // which carries into the next year.
        {"2024-01-05 00:00:00.002", "2024-01-05 00:00:00.003"},
        {"2023-12-31 23:59:59.999", "2024-01-01 00:00:00.000"},
        {"1753-01-01", "1753-01-01 00:00:00.000"},
        {"9999-12-31 23:59:59.997", "9999-12-31 23:59:59.997"},
        {"9999-12-31 23:59:59.999", nullptr},  // rounds past 9999
        {"1752-12-31", nullptr},
        {"2023-02-29", nullptr},
        {"1900-02-29", nullptr},
        {"2000-02-29", "2000-02-29 00:00:00.000"},
        {"2024-13-01", nullptr},
        {"2024-00-10", nullptr},
        {"2024-04-31", nullptr},
        {"2024-01-05 24:00", nullptr},
        {"2024-01-05 12:60", nullptr},
        {"2024-01-05 12:00:60", nullptr},
        {"2024-01-05T7:05:09", nullptr},     // ISO 8601 wants two digits
        {"2024-01-05T07:05", nullptr},       // and the seconds
        {"2024-01-05T07:05:09:5", nullptr},  // and a period before the fraction
        {"2024-01-05 12:00:00.1234", nullptr},
        {"2024/01-05", nullptr},  // mixed separators
        {"24-01-05", nullptr},
        {"2024-01-05x", nullptr},
        {"", nullptr},
    };
    for (const DateCase& c : cases) {
        char out[24] = "unchanged";
        bool converts = ParseDateTime(c.text.data(), c.text.size(), out);
        EXPECT_EQ(converts, c.stored != nullptr) << "'" << c.text << "'";
        if (c.stored && converts) {
            EXPECT_STREQ(out, c.stored) << "'" << c.text << "'";
        }
    }
}

struct Utf8Case {
    std::string bytes;
    bool valid;
    size_t characters;
};

TEST(BulkValues, Utf8TextIsCheckedAndCountedInCharacters) {
    const std::vector<Utf8Case> cases = {
        {"", true, 0},
        {"abc", true, 3},
        {"\xC3\xA9", true, 1},                  // é
        {"\xE6\x97\xA5\xE6\x9C\xAC", true, 2},  // two CJK characters
        {"a\xF0\x9F\x98\x80z", true, 3},        // a four-byte character
        {"\xC3", false, 0},                     // cut short
        {"ab\xE6\x97", false, 0},               // cut short at the end
        {"\xE6\x97"
         "A",
         false, 0},                          // a continuation missing
        {"\x80", false, 0},                  // a lone continuation byte
        {"\xF8\x88\x80\x80\x80", false, 0},  // no five-byte forms
    };
    for (const Utf8Case& c : cases) {
        size_t characters = 999;
        EXPECT_EQ(ValidUtf8(c.bytes.data(), c.bytes.size(), &characters), c.valid)
            << testing::PrintToString(c.bytes);
        EXPECT_EQ(characters, c.valid ? c.characters : 999) << testing::PrintToString(c.bytes);
    }
}

TEST(BulkValues, ColumnLimitsAreInBytesOfTheFile) {
    auto column = [](Schema::ColumnType type, int size) {
        return Schema::ColumnDef{"c", type, size, false, nullptr, false};
    };
    EXPECT_EQ(FieldLimit(column(Schema::ColumnType::VarChar, 10)), 10U);
    EXPECT_EQ(FieldLimit(column(Schema::ColumnType::NVarChar, 10)), 40U);
    for (Schema::ColumnType type :
         {Schema::ColumnType::Int, Schema::ColumnType::BigInt, Schema::ColumnType::DateTime})
        EXPECT_EQ(FieldLimit(column(type, 0)), kScalarFieldLimit);
}

TEST(BulkValues, TrimDropsBlanksAndTabsAroundAField) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {" \tab c\t ", "ab c"}, {"x", "x"}, {" \t \t", ""}, {"", ""}};
    for (const auto& [field, trimmed] : cases) {
        const char* p = field.data();
        size_t n = field.size();
        Trim(p, n);
        EXPECT_EQ(std::string(p, n), trimmed) << "'" << field << "'";
    }
}

}  // namespace
