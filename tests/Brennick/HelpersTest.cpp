#include "Brennick/Helpers.h"

#include <gtest/gtest.h>

#include "Platform/Fake/FakePlatform.h"
#include "tests/Support/ParamName.h"

namespace {

struct SplitCase {
    const char* name;
    const char* source;
    const char* delimiter;
    bool trim;
    std::size_t size;
    std::string expected;  // output bytes up to and including the closing NUL
    std::size_t result;
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

const SplitCase kSplits[] = {
    {"default delimiter with trimming", "a, b,,c", nullptr, true, 32, std::string("a\0b\0c\0\0", 7),
     6},
    {"without trimming blanks stay", "a, b", ",", false, 32, std::string("a\0 b\0\0", 6), 5},
    {"item of blanks only is dropped", "a,  ,b", ",", true, 32, std::string("a\0b\0\0", 5), 4},
    {"two-character delimiter", "a:b::c", "::", false, 32, std::string("a:b\0c\0\0", 7), 6},
    {"empty delimiter copies whole, no list NUL", "a,b", "", false, 32, std::string("a,b\0", 4), 3},
    {"empty source", "", ",", true, 32, std::string("\0", 1), 0},
    {"output full drops later items", "abc,def,ghi", ",", false, 9, std::string("abc\0def\0\0", 9),
     8},
    {"item cut to the space left", "abcdef", ",", false, 5, std::string("abc\0\0", 5), 4},
};

class SplitListTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitListTest, Splits) {
    const SplitCase& c = GetParam();
    std::string output(c.size + 4, '\x55');  // guard bytes after the given size
    EXPECT_EQ(c.result, SplitList(c.source, output.data(), c.size, c.delimiter, c.trim));
    EXPECT_EQ(c.expected, output.substr(0, c.expected.size()));
    EXPECT_EQ(std::string(4, '\x55'), output.substr(c.size));
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitListTest, ::testing::ValuesIn(kSplits), CaseName());

TEST(SplitList, NullArguments) {
    char out[4];
    EXPECT_EQ(0u, SplitList(nullptr, out, 4, ",", true));
    EXPECT_EQ(0u, SplitList("a", nullptr, 4, ",", true));
    EXPECT_EQ(0u, SplitList("a", out, 0, ",", true));
}

TEST(TrimBlanks, Cases) {
    struct {
        const char* in;
        const char* out;
        bool changed;
    } cases[] = {
        {"  a b \t\r\n", "a b", true},
        {"ab", "ab", false},
        {" \t\r\n ", "", true},
        {"", "", false},
        {"\nx", "x", true},
    };
    for (const auto& c : cases) {
        std::string buffer = c.in;
        EXPECT_EQ(c.changed, TrimBlanks(buffer.data())) << c.in;
        EXPECT_STREQ(c.out, buffer.c_str());
        std::string s = c.in;
        EXPECT_EQ(c.changed, TrimBlanks(s));
        EXPECT_EQ(c.out, s);
    }
    EXPECT_FALSE(TrimBlanks(static_cast<char*>(nullptr)));
}

TEST(ParseBool, Cases) {
    struct {
        const char* text;
        bool defaultValue;
        bool expected;
    } cases[] = {
        {"Yes", false, true}, {"TRUE", false, true}, {"5", false, true},    {"-1", false, true},
        {"abc", true, false}, {"no", true, false},   {"0", true, false},    {"", true, true},
        {"", false, false},   {nullptr, true, true}, {"yess", true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ParseBool(c.text, c.defaultValue)) << (c.text ? c.text : "null");
}

TEST(NumberFormatting, Cases) {
    EXPECT_EQ("FF", FormatUnsigned(255, 16));
    EXPECT_EQ("11111111", FormatUnsigned(255, 2));
    EXPECT_EQ("255", FormatUnsigned(255, 3));
    EXPECT_EQ("377", FormatUnsigned(255, 8));
    EXPECT_EQ("4294967295", FormatUnsigned(0xFFFFFFFFu, 10));
    EXPECT_EQ("-5", FormatSigned(-5, 10));
    EXPECT_EQ("FFFFFFFB", FormatSigned(-5, 16));
    EXPECT_EQ("0", FormatBinary(0, 64));
    EXPECT_EQ("101", FormatBinary(5, 64));
    EXPECT_EQ("01", FormatBinary(5, 2));  // the lowest digits only
    EXPECT_EQ(10, ValidBase(7));
    EXPECT_EQ(16, ValidBase(16));
}

TEST(ForEachInList, StopsWhereTheVisitorSays) {
    const char list[] = "a\0bb\0ccc\0";
    std::string seen;
    auto collect = [](const char* item, void* context) {
        *static_cast<std::string*>(context) += std::string(item) + "|";
        return std::string(item) == "bb" ? 0 : 1;
    };
    EXPECT_EQ(0, ForEachInList(list, collect, &seen));
    EXPECT_EQ("a|bb|", seen);
    int count = 0;
    EXPECT_EQ(1, ForEachInList(
                     list,
                     [](const char*, void* c) {
                         ++*static_cast<int*>(c);
                         return 1;
                     },
                     &count));
    EXPECT_EQ(3, count);
    EXPECT_EQ(0, ForEachInList(nullptr, collect, &seen));
}

TEST(ModulePath, DirectoryEndsWithSeparator) {
    Platform::CFakePlatform fake;
    fake.SetModuleFileName("/opt/kf/bin/ferrowin");
    EXPECT_EQ("/opt/kf/bin/", GetModuleDirectory(fake.Get().system));
    EXPECT_EQ("/opt/kf/bin/pellinor.conf", GetModuleFilePath(fake.Get().system, "pellinor.conf"));
    fake.SetModuleFileName("C:\\Tools/app.exe");
    EXPECT_EQ("C:\\Tools/", GetModuleDirectory(fake.Get().system));
    EXPECT_EQ("fake error 2\n", GetSystemErrorText(fake.Get().system, 2));
}

TEST(CopySpan, CopiesTheHalfOpenRange) {
    const char text[] = "abcdef";
    EXPECT_EQ("bcd", CopySpan(text + 1, text + 4));
    EXPECT_EQ("", CopySpan(text + 2, text + 2));
}

}  // namespace
