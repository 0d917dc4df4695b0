// The names of the files made for a moment beside another: they fit the
// limit for one name whatever the name they come from, and the cleanup
// knows them again.
#include <gtest/gtest.h>

#include <set>

#include "Platform/Platform.h"
#include "Platform/TemporaryName.h"

using namespace Platform;

namespace {

std::string Folder() {
    return std::string("in") + PathSeparator();
}

std::string NameOf(const std::string& path) {
    return path.substr(path.find_last_of(PathSeparator()) + 1);
}

// A log name of `length` bytes, ending in ".csv".
std::string LogName(std::size_t length, char fill = 'x') {
    return "FileLogFile" + std::string(length - 15, fill) + ".csv";
}

TEST(TemporaryName, ShortNamesKeepTheirSuffixAsWritten) {
    EXPECT_EQ(Folder() + "a.csv.mv123", MoveCopyName(Folder() + "a.csv", 123));
    EXPECT_EQ(Folder() + "a.csv.COPY", RewriteCopyName(Folder() + "a.csv"));
    EXPECT_EQ(Folder() + "a.csv.err", SuffixedName(Folder() + "a.csv", kErrorSuffix));
    // Exactly at the limit is still the plain form.
    std::string name = LogName(kMaxNameLength - 5);
    EXPECT_EQ(name + ".COPY", NameOf(RewriteCopyName(Folder() + name)));
}

TEST(TemporaryName, LongNamesAreCutToFitAndStayKnownAndDistinct) {
    std::set<std::string> seen;
    for (std::size_t length : {247u, 250u, 251u, 252u, 253u, 254u, 255u}) {
        for (char fill : {'x', 'y'}) {
            std::string name = LogName(length, fill);
            SCOPED_TRACE(name.size());
            std::uint32_t pid = 0;
            std::string move = NameOf(MoveCopyName(Folder() + name, 4194303));
            EXPECT_LE(move.size(), kMaxNameLength);
            EXPECT_EQ(TemporaryKind::MoveCopy, ParseTemporaryName(move, &pid));
            EXPECT_EQ(4194303u, pid);
            std::string copy = NameOf(RewriteCopyName(Folder() + name));
            EXPECT_LE(copy.size(), kMaxNameLength);
            EXPECT_EQ(TemporaryKind::RewriteCopy, ParseTemporaryName(copy, nullptr));
            std::string err = NameOf(SuffixedName(Folder() + name, kErrorSuffix));
            EXPECT_LE(err.size(), kMaxNameLength);
            EXPECT_EQ(".csv.err", err.substr(err.size() - 8));
            EXPECT_EQ(name.substr(0, 40), err.substr(0, 40));
            EXPECT_TRUE(seen.insert(move).second) << move;
            EXPECT_TRUE(seen.insert(copy).second) << copy;
            EXPECT_TRUE(seen.insert(err).second) << err;
        }
    }
}

// A name is cut between characters: a UTF-8 sequence stays whole.
TEST(TemporaryName, ACutNeverSplitsACharacter) {
    std::string name = "FileLogFile";
    while (name.size() < 251) name += "\xE3\x81\x82";  // hiragana a, three bytes
    name += ".csv";
    for (std::size_t pad = 0; pad < 3; ++pad) {
        std::string padded = name.substr(0, 11) + std::string(pad, 'p') + name.substr(11);
        std::string err = NameOf(SuffixedName(Folder() + padded, kErrorSuffix));
        std::size_t tilde = err.rfind('~');
        ASSERT_NE(std::string::npos, tilde);
        EXPECT_EQ(0u, (tilde - 11 - pad) % 3) << "cut inside a character, pad " << pad;
    }
}

TEST(TemporaryName, OnlyTheProgramsOwnNamesAreKnown) {
    struct Case {
        const char* name;
        TemporaryKind kind;
        std::uint32_t pid;
    };
    const Case kCases[] = {
        {"a.csv.mv1", TemporaryKind::MoveCopy, 1},
        {"A.CSV.mv4294967295", TemporaryKind::MoveCopy, 4294967295u},
        {"a.csv.COPY", TemporaryKind::RewriteCopy, 0},
        {"a.CSV.COPY", TemporaryKind::RewriteCopy, 0},
        {"a.csv.mv4294967296", TemporaryKind::None, 0},  // beyond 32 bits
        {"a.csv.mv012", TemporaryKind::None, 0},         // never written with a leading zero
        {"a.csv.mv", TemporaryKind::None, 0},
        {"a.csv.mvx1", TemporaryKind::None, 0},
        {"a.txt.mv12", TemporaryKind::None, 0},  // not a log's copy
        {"notes.mv12", TemporaryKind::None, 0},
        {"a.csv.copy", TemporaryKind::None, 0},  // the suffix is matched exactly
        {"a.txt.COPY", TemporaryKind::None, 0},
        {"a.csv", TemporaryKind::None, 0},
        {"a.csv.err", TemporaryKind::None, 0},
        {".mv12", TemporaryKind::None, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::uint32_t pid = 0;
        EXPECT_EQ(c.kind, ParseTemporaryName(c.name, &pid));
        EXPECT_EQ(c.pid, pid);
    }
}

}  // namespace
