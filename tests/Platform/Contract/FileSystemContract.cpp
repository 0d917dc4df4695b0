// Files: every implementation gives the statuses that Windows gives.
#include <algorithm>
#include <random>
#include <vector>

#include "tests/Platform/Contract/PlatformFixture.h"

using namespace Platform;

namespace {

// The folder every case starts from.
void PutStart(IPlatformFixture& f, const std::string& root) {
    const char sep = PathSeparator();
    f.PutFile(root + sep + "a.csv", "a");
    f.PutFile(root + sep + "ro.csv", "ro", true);
    f.PutFile(root + sep + "sub" + sep + "b.csv", "b");
}

struct FailureCase {
    const char* name;
    std::function<Status(IFileSystem&, const std::function<std::string(const char*)>&)> call;
    Status status;
};

std::string g_scratch;

const FailureCase kFailures[] = {
    {"attributes of a missing file",
     [](auto& f, auto p) {
         std::uint32_t a;
         return f.GetAttributes(p("none.csv"), &a);
     },
     kFileNotFound},
    {"attributes below a missing folder",
     [](auto& f, auto p) {
         std::uint32_t a;
         return f.GetAttributes(p("none/x.csv"), &a);
     },
     kPathNotFound},
    {"set attributes of a missing file",
     [](auto& f, auto p) { return f.SetAttributes(p("none.csv"), kAttributeNormal); },
     kFileNotFound},
    {"set attributes below a missing folder",
     [](auto& f, auto p) { return f.SetAttributes(p("none/x.csv"), kAttributeNormal); },
     kPathNotFound},
    {"move of a missing file",
     [](auto& f, auto p) { return f.Relocate(p("none.csv"), p("x.csv"), true); }, kFileNotFound},
    {"move from a missing folder",
     [](auto& f, auto p) { return f.Relocate(p("none/x.csv"), p("x.csv"), true); }, kPathNotFound},
    {"move onto a file without replace",
     [](auto& f, auto p) { return f.Relocate(p("a.csv"), p("sub/b.csv"), false); }, kAlreadyExists},
    {"move into a missing folder",
     [](auto& f, auto p) { return f.Relocate(p("a.csv"), p("none/a.csv"), true); }, kPathNotFound},
    {"move replacing a read-only file",
     [](auto& f, auto p) { return f.Relocate(p("a.csv"), p("ro.csv"), true); }, kAccessDenied},
    {"move replacing a folder",
     [](auto& f, auto p) { return f.Relocate(p("a.csv"), p("sub"), true); }, kAccessDenied},
    {"delete a missing file", [](auto& f, auto p) { return f.RemoveFile(p("none.csv")); },
     kFileNotFound},
    {"delete below a missing folder", [](auto& f, auto p) { return f.RemoveFile(p("none/x.csv")); },
     kPathNotFound},
    {"delete a read-only file", [](auto& f, auto p) { return f.RemoveFile(p("ro.csv")); },
     kAccessDenied},
    {"delete a folder", [](auto& f, auto p) { return f.RemoveFile(p("sub")); }, kAccessDenied},
    {"create an existing folder", [](auto& f, auto p) { return f.CreateFolder(p("sub")); },
     kAlreadyExists},
    {"create a folder named like a file",
     [](auto& f, auto p) { return f.CreateFolder(p("a.csv")); }, kAlreadyExists},
    {"create a folder below a missing one",
     [](auto& f, auto p) { return f.CreateFolder(p("none/x")); }, kPathNotFound},
    {"list a missing folder",
     [](auto& f, auto p) {
         std::vector<FileEntry> e;
         return f.ListFiles(p("none"), "*.csv", false, &e);
     },
     kPathNotFound},
    {"read a missing file", [](auto& f, auto p) { return f.ReadWhole(p("none.csv"), &g_scratch); },
     kFileNotFound},
    {"read below a missing folder",
     [](auto& f, auto p) { return f.ReadWhole(p("none/x.csv"), &g_scratch); }, kPathNotFound},
    {"read a folder", [](auto& f, auto p) { return f.ReadWhole(p("sub"), &g_scratch); },
     kAccessDenied},
    {"replace below a missing folder",
     [](auto& f, auto p) { return f.ReplaceContent(p("none/x.csv"), "new", p("none/x.csv.COPY")); },
     kPathNotFound},
    {"replace a read-only file",
     [](auto& f, auto p) { return f.ReplaceContent(p("ro.csv"), "new", p("ro.csv.COPY")); },
     kAccessDenied},
    {"replace a folder",
     [](auto& f, auto p) { return f.ReplaceContent(p("sub"), "new", p("sub.COPY")); },
     kAccessDenied},
};

// Each failure returns the Windows status, stores it as the last error, and
// changes nothing.
TEST_P(PlatformContract, FileFailuresGiveWindowsStatusesAndChangeNothing) {
    PutStart(Fixture(), Fixture().Root());
    auto p = [this](const char* relative) { return P(relative); };
    for (const FailureCase& c : kFailures) {
        SCOPED_TRACE(c.name);
        Get().system.StoreLastError(kSuccess);
        EXPECT_EQ(c.status, c.call(Get().files, p));
        EXPECT_EQ(c.status, Get().system.LastError());
        EXPECT_EQ("a", Fixture().Content(P("a.csv")).value_or("(gone)"));
        EXPECT_EQ("ro", Fixture().Content(P("ro.csv")).value_or("(gone)"));
        EXPECT_EQ("b", Fixture().Content(P("sub/b.csv")).value_or("(gone)"));
        EXPECT_FALSE(Fixture().Content(P("ro.csv.COPY")));
        EXPECT_FALSE(Fixture().Content(P("x.csv")));
    }
}

std::vector<std::string> Names(const std::vector<FileEntry>& entries) {
    std::vector<std::string> names;
    for (const FileEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(PlatformContract, ListingMatchesWithoutLetterCaseAndShowsFoldersOnRequest) {
    Fixture().PutFile(P("a.csv"), "");
    Fixture().PutFile(P("B.CSV"), "", true);
    Fixture().PutFile(P("c.csv.bak"), "");
    Fixture().PutFile(P("d.txt"), "");
    Fixture().PutFolder(P("folder.csv"));
    IFileSystem& files = Get().files;
    std::vector<FileEntry> entries;

    ASSERT_EQ(kSuccess, files.ListFiles(Fixture().Root(), "*.csv", false, &entries));
    EXPECT_EQ((std::vector<std::string>{"B.CSV", "a.csv"}), Names(entries));

    ASSERT_EQ(kSuccess, files.ListFiles(Fixture().Root(), "*.csv", true, &entries));
    EXPECT_EQ((std::vector<std::string>{"B.CSV", "a.csv", "folder.csv"}), Names(entries));
    for (const FileEntry& e : entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.name == "folder.csv", (e.attributes & kAttributeDirectory) != 0);
        EXPECT_EQ(e.name == "B.CSV", (e.attributes & kAttributeReadOnly) != 0);
    }

    Fixture().PutFolder(P("empty"));
    ASSERT_EQ(kSuccess, files.ListFiles(P("empty"), "*.csv", true, &entries));
    EXPECT_TRUE(entries.empty());
}

TEST_P(PlatformContract, MovesReplaceOnRequestAndLeaveNoSource) {
    IFileSystem& files = Get().files;
    Fixture().PutFile(P("in/a.csv"), "new");
    Fixture().PutFile(P("backup/a.csv"), "old");

    ASSERT_EQ(kSuccess, files.Relocate(P("in/a.csv"), P("backup/a.csv"), true));
    EXPECT_FALSE(Fixture().Content(P("in/a.csv")));
    EXPECT_EQ("new", Fixture().Content(P("backup/a.csv")));

    // A rename in place, as the ".err" suffix is given.
    ASSERT_EQ(kSuccess, files.Relocate(P("backup/a.csv"), P("backup/a.csv.err"), false));
    EXPECT_EQ("new", Fixture().Content(P("backup/a.csv.err")));
    EXPECT_FALSE(files.Exists(P("backup/a.csv")));
    EXPECT_TRUE(files.Exists(P("backup/a.csv.err")));
    EXPECT_TRUE(files.Exists(P("backup")));
}

TEST_P(PlatformContract, ReadOnlyAttributeRoundTripsAndGuardsDelete) {
    IFileSystem& files = Get().files;
    Fixture().PutFile(P("r.csv"), "x");
    std::uint32_t attributes = 0;
    ASSERT_EQ(kSuccess, files.GetAttributes(P("r.csv"), &attributes));
    EXPECT_EQ(kAttributeNormal, attributes);

    ASSERT_EQ(kSuccess, files.SetAttributes(P("r.csv"), kAttributeReadOnly));
    ASSERT_EQ(kSuccess, files.GetAttributes(P("r.csv"), &attributes));
    EXPECT_EQ(kAttributeReadOnly, attributes & kAttributeReadOnly);
    EXPECT_EQ(kAccessDenied, files.RemoveFile(P("r.csv")));

    ASSERT_EQ(kSuccess, files.SetAttributes(P("r.csv"), kAttributeNormal));
    ASSERT_EQ(kSuccess, files.GetAttributes(P("r.csv"), &attributes));
    EXPECT_EQ(kAttributeNormal, attributes);
    EXPECT_EQ(kSuccess, files.RemoveFile(P("r.csv")));
    EXPECT_FALSE(files.Exists(P("r.csv")));

    ASSERT_EQ(kSuccess, files.CreateFolder(P("LogError")));
    ASSERT_EQ(kSuccess, files.GetAttributes(P("LogError"), &attributes));
    EXPECT_EQ(kAttributeDirectory, attributes & kAttributeDirectory);
}

TEST_P(PlatformContract, ReadAndReplaceWholeFiles) {
    IFileSystem& files = Get().files;
    const std::string bytes(
        "a\xFE"
        "b\r\n\0c\x82\xA0\n",
        10);
    Fixture().PutFile(P("in/AsInstallSoftwareLogFile.csv"), bytes);

    std::string content = "untouched";
    ASSERT_EQ(kSuccess, files.ReadWhole(P("in/AsInstallSoftwareLogFile.csv"), &content));
    EXPECT_EQ(bytes, content);

    const std::string rewritten = bytes + bytes;
    ASSERT_EQ(kSuccess, files.ReplaceContent(P("in/AsInstallSoftwareLogFile.csv"), rewritten,
                                             P("in/AsInstallSoftwareLogFile.csv.COPY")));
    EXPECT_EQ(rewritten, Fixture().Content(P("in/AsInstallSoftwareLogFile.csv")));
    EXPECT_FALSE(files.Exists(P("in/AsInstallSoftwareLogFile.csv.COPY")));

    // A copy left behind by an earlier run is replaced, and a new file made.
    Fixture().PutFile(P("in/new.csv.COPY"), "stale");
    ASSERT_EQ(kSuccess, files.ReplaceContent(P("in/new.csv"), "", P("in/new.csv.COPY")));
    EXPECT_EQ("", Fixture().Content(P("in/new.csv")));
    EXPECT_FALSE(files.Exists(P("in/new.csv.COPY")));

    ASSERT_EQ(kSuccess, files.ReadWhole(P("in/new.csv"), &content));
    EXPECT_EQ("", content);
}

TEST_P(PlatformContract, InstanceLockIsHeldOnceAndFreedOnRelease) {
    const std::string name = "FerrowinContract" + std::to_string(std::random_device{}());
    IInstanceLock& locks = Get().locks;
    std::unique_ptr<IHeldLock> first, second;
    ASSERT_EQ(kSuccess, locks.Acquire(name, &first));
    ASSERT_NE(nullptr, first);

    Get().system.StoreLastError(kSuccess);
    EXPECT_EQ(kAlreadyExists, locks.Acquire(name, &second));
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(kAlreadyExists, Get().system.LastError());

    first.reset();
    EXPECT_EQ(kSuccess, locks.Acquire(name, &second));
    EXPECT_NE(nullptr, second);
}

}  // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PlatformContract);

namespace {

// A claimed file: read, rewritten and moved by what the claim holds; where
// the database reads it, it is whole; and a claim given up without a move
// puts the file back under its own name.
TEST_P(PlatformContract, ClaimedFilesAreReadRewrittenAndMovedWhole) {
    IFileSystem& files = Get().files;
    Fixture().PutFile(P("in/a.csv"), "rows");
    Fixture().PutFile(P("in/ro.csv"), "kept", true);
    Fixture().PutFile(P("in/gone.csv"), "x");
    Fixture().PutFile(P("backup/a.csv"), "old");

    std::unique_ptr<IClaimedFile> claimed;
    ASSERT_EQ(kSuccess, files.ClaimFile(P("in/a.csv"), &claimed));
    ASSERT_NE(nullptr, claimed);
    EXPECT_EQ("rows", Fixture().Content(claimed->LoadPath()).value_or("(none)"));
    std::string content;
    ASSERT_EQ(kSuccess, claimed->Read(&content));
    EXPECT_EQ("rows", content);
    ASSERT_EQ(kSuccess, claimed->Rewrite("new rows"));
    EXPECT_EQ("new rows", Fixture().Content(claimed->LoadPath()).value_or("(none)"));
    EXPECT_FALSE(Fixture().Content(claimed->LoadPath() + ".COPY"));
    ASSERT_EQ(kSuccess, claimed->Read(&content));
    EXPECT_EQ("new rows", content);
    // A failed move keeps the file held; a good one replaces the target.
    EXPECT_EQ(kPathNotFound, claimed->MoveTo(P("none/a.csv")));
    ASSERT_EQ(kSuccess, claimed->MoveTo(P("backup/a.csv")));
    claimed.reset();
    EXPECT_EQ("new rows", Fixture().Content(P("backup/a.csv")).value_or("(none)"));
    EXPECT_FALSE(Fixture().Content(P("in/a.csv")));

    // Read-only: rewritten and still read-only; no delete until cleared.
    ASSERT_EQ(kSuccess, files.ClaimFile(P("in/ro.csv"), &claimed));
    std::uint32_t attributes = 0;
    ASSERT_EQ(kSuccess, claimed->GetAttributes(&attributes));
    EXPECT_EQ(kAttributeReadOnly, attributes & kAttributeReadOnly);
    ASSERT_EQ(kSuccess, claimed->Rewrite("kept"));
    ASSERT_EQ(kSuccess, claimed->GetAttributes(&attributes));
    EXPECT_EQ(kAttributeReadOnly, attributes & kAttributeReadOnly);
    EXPECT_EQ(kAccessDenied, claimed->Remove());
    ASSERT_EQ(kSuccess, claimed->ClearReadOnly());
    ASSERT_EQ(kSuccess, claimed->GetAttributes(&attributes));
    EXPECT_EQ(kAttributeNormal, attributes);
    claimed.reset();
    EXPECT_EQ("kept", Fixture().Content(P("in/ro.csv")).value_or("(none)"));
    ASSERT_EQ(kSuccess, files.GetAttributes(P("in/ro.csv"), &attributes));
    EXPECT_EQ(0u, attributes & kAttributeReadOnly);

    ASSERT_EQ(kSuccess, files.ClaimFile(P("in/gone.csv"), &claimed));
    ASSERT_EQ(kSuccess, claimed->Remove());
    claimed.reset();
    EXPECT_FALSE(files.Exists(P("in/gone.csv")));
}

struct ClaimRefusal {
    const char* name;
    const char* path;
    Status status;
};

const ClaimRefusal kClaimRefusals[] = {
    {"missing", "in/none.csv", kFileNotFound},
    {"below a missing folder", "none/x.csv", kPathNotFound},
    {"a folder", "in/sub", kAccessDenied},
    {"a symbolic link", "in/link.csv", kAccessDenied},
    {"open for writing", "in/busy.csv", kSharingViolation},
};

// What cannot be claimed is left exactly where it is.
TEST_P(PlatformContract, ClaimRefusesLinksFoldersAndFilesBeingWritten) {
    IFileSystem& files = Get().files;
    Fixture().PutFile(P("target.csv"), "target");
    Fixture().PutFile(P("in/busy.csv"), "half");
    Fixture().PutFolder(P("in/sub"));
    bool links = Fixture().PutLink(P("in/link.csv"), P("target.csv"));
    std::shared_ptr<void> writer = Fixture().OpenForWriting(P("in/busy.csv"));
    for (const ClaimRefusal& c : kClaimRefusals) {
        SCOPED_TRACE(c.name);
        if (!links && c.status == kAccessDenied && std::string(c.path) == "in/link.csv")
            continue;
        std::unique_ptr<IClaimedFile> claimed;
        Get().system.StoreLastError(kSuccess);
        EXPECT_EQ(c.status, files.ClaimFile(P(c.path), &claimed));
        EXPECT_EQ(c.status, Get().system.LastError());
        EXPECT_EQ(nullptr, claimed);
    }
    EXPECT_EQ("half", Fixture().Content(P("in/busy.csv")).value_or("(gone)"));
    EXPECT_EQ("target", Fixture().Content(P("target.csv")).value_or("(gone)"));
    EXPECT_TRUE(files.Exists(P("in/sub")));

    // The writer done, the same file is claimed.
    writer.reset();
    std::unique_ptr<IClaimedFile> claimed;
    EXPECT_EQ(kSuccess, files.ClaimFile(P("in/busy.csv"), &claimed));
}

}  // namespace
