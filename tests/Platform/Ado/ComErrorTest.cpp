// Error texts of the object model and of the database layer.
#include <gtest/gtest.h>

#include "Platform/Ado/Ado.h"
#include "Platform/Ado/Provider.h"
#include "Server/Ferrowin/database/ADOErrorHolder.h"
#include "Server/Ferrowin/database/VariantText.h"

using namespace Ado;

namespace {

TEST(ComError, CodeMeaning) {
    struct {
        std::uint32_t hr;
        const char* meaning;
    } cases[] = {
        {0x80040201, "IDispatch error #1"},    {0x80040200, "Unknown error 0x80040200"},
        {0x80040E14, "IDispatch error #3092"}, {0x12345678, "Unknown error 0x12345678"},
        {0x80004005, "Unspecified error"},  // system text without its CR LF
    };
    for (const auto& c : cases) {
        ComError error(Hr(c.hr), "d", "s");
        EXPECT_STREQ(c.meaning, error.ErrorMessage()) << std::hex << c.hr;
        EXPECT_EQ(error.ErrorMessage(), error.ErrorMessage());  // kept, not made again
    }
}

TEST(ComError, ReportsOfTheLayer) {
    ComError error(kDbErrorsInCommand, "Incorrect syntax", "Provider");
    EXPECT_EQ("ADO Error: Incorrect syntax(80040e14)", FormatAdoError(error));
    EXPECT_EQ(
        "CADOCommand Error\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
        "\tSource = Provider\n\tDescription = Incorrect syntax\n",
        FormatComErrorReport("CADOCommand Error", error));
    ComError bare(kEPointer, "", "", false);
    EXPECT_EQ("ADO Error: (null)(80004003)", FormatAdoError(bare));
    EXPECT_EQ(512u, CutErrorText(std::string(600, 'x')).size());
}

TEST(VariantText, NumbersAndDates) {
    EXPECT_EQ("3.", FormatSignificant(3.0, 20));
    EXPECT_EQ("0.1000000015", FormatSignificant(0.1f, 10));
    EXPECT_EQ("1e+30", FormatSignificant(1e30, 10));
    EXPECT_EQ("1899-12-30 00:00:00", FormatOleDate(0.0, ""));
    EXPECT_EQ("2000-02-29 06:00:00", FormatOleDate(36585.25, ""));
    EXPECT_EQ("1899-12-29 06:00:00", FormatOleDate(-1.25, ""));
    EXPECT_EQ("Invalid DateTime", FormatOleDate(3e6, ""));
    // Before 1899-12-30 the serial is negative and the time still counts forward.
    for (DateParts parts :
         {DateParts{1753, 1, 1, 12, 30, 0, 0}, DateParts{2026, 2, 28, 23, 59, 59, 0},
          DateParts{9999, 12, 31, 0, 0, 1, 0}}) {
        double serial = OleDateFromParts(parts);
        DateParts back;
        ASSERT_TRUE(OleDateToParts(serial, &back));
        EXPECT_EQ(std::vector<int>(
                      {parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second}),
                  std::vector<int>(
                      {back.year, back.month, back.day, back.hour, back.minute, back.second}))
            << serial;
    }
    EXPECT_LT(OleDateFromParts({1753, 1, 1, 12, 0, 0, 0}), 0);
    Decimal d;
    d.lo64 = 12345;
    d.scale = 3;
    d.sign = 0x80;
    EXPECT_DOUBLE_EQ(-12.345, DecimalToDouble(d));
}

TEST(ConnectionString, Parsing) {
    auto attributes = ParseConnectionString(
        "Provider=Embedded; Data Source = /tmp/a b.db ;Extra={x;y};junk;Last=1");
    ASSERT_EQ(4u, attributes.size());
    EXPECT_EQ("Embedded", *FindAttribute(attributes, "provider"));
    EXPECT_EQ("/tmp/a b.db", *FindAttribute(attributes, "DATA SOURCE"));
    EXPECT_EQ("x;y", *FindAttribute(attributes, "Extra"));
    EXPECT_EQ("1", *FindAttribute(attributes, "Last"));
    EXPECT_EQ(nullptr, FindAttribute(attributes, "junk"));
}

}  // namespace
