// The event section of docs/operations.md is the generator's output, and the
// generator covers the whole catalogue.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Server/Ferrowin/MessageCatalogue.h"
#include "tools/EventGuide.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(EventGuide, CommittedGuideMatchesTheCatalogue) {
    std::string guide = ReadFile(SOURCE_DIR "/docs/operations.md");
    ASSERT_FALSE(guide.empty());
    std::size_t begin = guide.find(kEventGuideBegin);
    std::size_t end = guide.find(kEventGuideEnd);
    ASSERT_NE(std::string::npos, begin);
    ASSERT_NE(std::string::npos, end);
    std::string committed =
        guide.substr(begin, end + std::string(kEventGuideEnd).size() + 1 - begin);
    std::istringstream expected(EventGuideSection()), actual(committed);
    std::string want, got;
    for (int line = 1;; ++line) {
        bool more = static_cast<bool>(std::getline(expected, want));
        bool moreGot = static_cast<bool>(std::getline(actual, got));
        if (!more && !moreGot)
            break;
        ASSERT_TRUE(more == moreGot && want == got)
            << "line " << line << " of the event section differs from the catalogue:\n"
            << "  guide:     " << (moreGot ? got : "(end)") << "\n"
            << "  generated: " << (more ? want : "(end)") << "\n"
            << "refresh it: build/linux-debug/gen-event-guide docs/operations.md";
    }
}

TEST(EventGuide, EveryCatalogueRowHasAnEntryWithItsTextAndNumber) {
    std::string section = EventGuideSection();
    std::size_t from = 0;
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& entry = kCatalogue[i];
        std::string heading = "\n#### \"" + std::string(entry.id) + "\": ";
        std::size_t at = section.find(heading, from);
        ASSERT_NE(std::string::npos, at) << entry.id << " missing or out of order";
        std::size_t next = section.find("\n#### ", at + 1);
        std::string body = section.substr(at, next == std::string::npos ? next : next - at);
        EXPECT_NE(std::string::npos, body.find("- Text: \"" + std::string(entry.text) + "\""))
            << entry.id;
        EXPECT_NE(std::string::npos,
                  body.find("- Number: " + std::to_string(EventNumber(entry.id)) + " "))
            << entry.id;
        EXPECT_NE(std::string::npos, body.find("- What to do: ")) << entry.id;
        from = at + 1;
    }
}

struct NumberCase {
    const char* id;
    unsigned long number;
};

TEST(EventGuide, EventNumberReadsTheIdentifierAsPellinorDoes) {
    const NumberCase cases[] = {
        {"010108", 10108}, {"050603", 50603}, {"-2147472426", 2147494870}, {"010201", 10201}};
    for (const NumberCase& c : cases) EXPECT_EQ(c.number, EventNumber(c.id)) << c.id;
}

TEST(EventGuide, WindowsViewerNumberOnlyWhereItDiffers) {
    std::string section = EventGuideSection();
    EXPECT_NE(std::string::npos,
              section.find("- Number: 2147494870 in the journal and the event file; the Windows "
                           "event viewer shows 11222.\n"));
    EXPECT_NE(std::string::npos,
              section.find("- Number: 10108 in the journal and the event file.\n"));
}

struct ReplaceCase {
    const char* name;
    std::string document;
    bool replaced;
    std::string expected;
};

TEST(EventGuide, ReplaceSection) {
    const std::string b = kEventGuideBegin, e = kEventGuideEnd;
    const ReplaceCase cases[] = {
        {"between text", "intro\n" + b + "\nold\n" + e + "\nrest\n", true, "intro\nNEW\nrest\n"},
        {"at the end without a newline", "intro\n" + b + "\n" + e, true, "intro\nNEW\n"},
        {"no begin marker", "intro\n" + e + "\n", false, ""},
        {"no end marker", b + "\nold\n", false, ""},
        {"end before begin", e + "\n" + b + "\n", false, ""},
    };
    for (const ReplaceCase& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(c.replaced, ReplaceEventGuideSection(c.document, "NEW\n", &out)) << c.name;
        EXPECT_EQ(c.replaced ? c.expected : "untouched", out) << c.name;
    }
}

}  // namespace
