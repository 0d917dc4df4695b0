// The embedded database under odd and hostile data files: the time limit,
// files that are not regular files, read errors, records longer than any
// valid one, the kept row messages, SQL Server's conversions from text, the
// row terminator, a file that ends inside a record, standard exceptions, and
// several processes creating one database at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "Platform/Ado/Provider.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/ParamName.h"
#include "tests/Support/TempDir.h"
#include "tools/LogGenerator.h"

// ---- allocation failures on demand, for the test of standard exceptions

namespace {
// The number of allocations to let through before one fails; -1: none fails.
std::atomic<long> g_allocationsBeforeFailure{-1};

void* Allocate(std::size_t size) {
    long left = g_allocationsBeforeFailure.load();
    while (left >= 0) {
        if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) {
            if (left == 0)
                throw std::bad_alloc();
            break;
        }
    }
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using Sample::Fault;

// VY_FileOptLog: LogID, LogDate, ComputerName, UserName, DomainName,
// Operation, FileName, DestFileName, FileSize (BIGINT), DriveType (INT),
// ApplicationName (VARCHAR(260)).
std::string Row(const std::string& date = "2026/12/01 10:00:00", const std::string& size = "1",
                const std::string& drive = "0", const std::string& application = "app.exe") {
    const std::string s = "\xFE";
    return "0" + s + date + s + "PC-1" + s + "user" + s + "DOM" + s + "Copy" + s + "a.txt" + s +
           "b.txt" + s + size + s + drive + s + application;
}

// Text as stored: 0xFE of code page 932 is U+F8F2 in UTF-8.
std::string Stored(std::string text) {
    for (size_t at; (at = text.find('\xFE')) != std::string::npos;)
        text.replace(at, 1, "\xEF\xA3\xB2");
    return text;
}

std::string Records(int n, const std::string& terminator = "\r\n") {
    Sample::CLogGenerator generator(3);
    std::string text;
    for (int row = 1; row <= n; ++row)
        text += generator.Record(0, static_cast<std::uint64_t>(row)) + terminator;
    return text;
}

std::string Statement(const std::string& path, long maxErrors,
                      const std::string& rowTerminator = "\\n",
                      const std::string& fieldTerminator = "0xfe") {
    return "BULK INSERT VY_FileOptLog FROM '" + path + "' WITH ( FIELDTERMINATOR = '" +
           fieldTerminator + "', ROWTERMINATOR = '" + rowTerminator +
           "',MAXERRORS = " + std::to_string(maxErrors) + " )";
}

class HostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, m_db.Open(ConnectionString())) << m_db.GetLastErrorText();
    }
    std::string ConnectionString() const {
        return "Provider=Embedded;Data Source=" + (m_dir / "veyrith.db");
    }
    std::string Write(const std::string& name, const std::string& content) {
        WriteFile(m_dir / name, content);
        return m_dir / name;
    }
    long Count() {
        CADORecordset rs(&m_db);
        std::int32_t value = -1;
        if (!rs.Open("SELECT COUNT(*) AS n FROM VY_FileOptLog"))
            return -2;
        rs.GetFieldValue("n", value);
        return value;
    }
    std::string Text(const std::string& sql) {
        CADORecordset rs(&m_db);
        std::string value = "<none>";
        if (rs.Open(sql) && rs.GetRecordCount() != 0)
            rs.GetFieldValue("v", value);
        return value;
    }
    // Runs a statement on a session of its own, so that the provider's
    // ComError is seen whole (the layer keeps 512 characters of its text).
    Ado::ComError Failure(const std::string& sql, long timeoutSeconds = 30) {
        auto session = Ado::OpenEmbeddedSession(ConnectionString(), "", "", 15);
        long affected = 0;
        try {
            session->Execute(sql, timeoutSeconds, &affected);
        } catch (const Ado::ComError& error) {
            return error;
        }
        ADD_FAILURE() << "no failure for " << sql;
        return Ado::ComError(0, "", "");
    }

    CTempDir m_dir;
    CADODatabase m_db;
};

// ---- the time limit

// A file of ever so many bytes (a hole of 1 TB) takes longer than a second
// to read on any machine: the load stops at the command timeout.
struct TimeLimitCase {
    const char* name;
    std::string head;  // the data before the hole
    std::string fieldTerminator, rowTerminator;
    long maxErrors;
    friend void PrintTo(const TimeLimitCase& c, std::ostream* os) { *os << c.name; }
};

class TimeLimitCases : public HostileTest, public ::testing::WithParamInterface<TimeLimitCase> {};

TEST_P(TimeLimitCases, LoadStopsAtTheCommandTimeout) {
    const TimeLimitCase& c = GetParam();
    std::string path = Write("big.csv", c.head);
    ASSERT_EQ(0, truncate(path.c_str(), 1LL << 40));
    m_db.GetConnection()->SetCommandTimeout(1);
    EXPECT_EQ(0, m_db.Execute(Statement(path, c.maxErrors, c.rowTerminator, c.fieldTerminator)));
    EXPECT_EQ(0x80040E31u, m_db.GetLastErrorCode()) << m_db.GetLastErrorText();
    EXPECT_EQ("ADO Error: Query timeout expired(80040e31)", m_db.GetLastErrorText());
    EXPECT_EQ(0, Count());  // nothing committed
    EXPECT_EQ(1, m_db.IsOpen());
    // The connection goes on: the next load has the time it needs.
    m_db.GetConnection()->SetCommandTimeout(30);
    EXPECT_EQ(1, m_db.Execute(Statement(Write("small.csv", Records(3)), 0)))
        << m_db.GetLastErrorText();
    EXPECT_EQ(3, Count());
}

const TimeLimitCase kTimeLimitCases[] = {
    // Valid rows, then zeros inside one record that never ends.
    {"hole inside a record", Records(100), "0xfe", "\\n", 10},
    // Every zero ends a field and a row: endless faulty rows (LogDate empty).
    {"hole of empty records", "", "0x00", "0x00", 2147483647},
};

INSTANTIATE_TEST_SUITE_P(Cases, TimeLimitCases, ::testing::ValuesIn(kTimeLimitCases), CaseName());

// ---- files that are not regular files, and read errors

struct FileCase {
    const char* name;
    std::string (*make)(const CTempDir& dir);  // the path to load
    const char* errorText;
};

class NotRegularFileCases : public HostileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(NotRegularFileCases, RefusedAtOnce) {
    const FileCase& c = GetParam();
    std::string path = c.make(m_dir);
    // No time limit: a read that blocked would block the test for good.
    m_db.GetConnection()->SetCommandTimeout(0);
    EXPECT_EQ(0, m_db.Execute(Statement(path, 10)));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode()) << m_db.GetLastErrorText();
    std::string expected = std::string(c.errorText);
    size_t at = expected.find("%s");
    if (at != std::string::npos)
        expected.replace(at, 2, path);
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find(expected)) << m_db.GetLastErrorText();
    EXPECT_EQ(0, Count());
    EXPECT_EQ(1, m_db.IsOpen());
}

const char kNoAccess[] =
    "Cannot bulk load. The file \"%s\" does not exist or you don't have file access rights.";
const char kCannotOpen[] =
    "Cannot bulk load because the file \"%s\" could not be opened. Operating system error code "
    "5(Access is denied.).";

const FileCase kFileCases[] = {
    {"FIFO without a writer",
     [](const CTempDir& dir) {
         mkfifo((dir / "fifo.csv").c_str(), 0600);
         return dir / "fifo.csv";
     },
     kCannotOpen},
    // A link is never followed, whatever it points at.
    {"symbolic link to a FIFO",
     [](const CTempDir& dir) {
         mkfifo((dir / "fifo").c_str(), 0600);
         symlink((dir / "fifo").c_str(), (dir / "link.csv").c_str());
         return dir / "link.csv";
     },
     kNoAccess},
    {"symbolic link to a regular file",
     [](const CTempDir& dir) {
         WriteFile(dir / "rows",
                   "1\xFE"
                   "2\r\n");
         symlink((dir / "rows").c_str(), (dir / "link.csv").c_str());
         return dir / "link.csv";
     },
     kNoAccess},
    {"dev zero", [](const CTempDir&) { return std::string("/dev/zero"); }, kCannotOpen},
    {"dev null", [](const CTempDir&) { return std::string("/dev/null"); }, kCannotOpen},
    {"folder",
     [](const CTempDir& dir) {
         mkdir((dir / "folder.csv").c_str(), 0700);
         return dir / "folder.csv";
     },
     kCannotOpen},
    // A regular file whose every read fails (EIO): this process's memory at
    // address 0.
    {"read error", [](const CTempDir&) { return std::string("/proc/self/mem"); },
     "Cannot bulk load because the file \"%s\" is incomplete or could not be read. Operating "
     "system error code 5("},
};

INSTANTIATE_TEST_SUITE_P(Cases, NotRegularFileCases, ::testing::ValuesIn(kFileCases), CaseName());

// ---- records longer than any valid one

TEST_F(HostileTest, LfOnlyLinesAreOneOverlongRecordReportedAtOnce) {
    // With LF alone between lines the last field runs on into the next lines;
    // it is an error as soon as it passes VARCHAR(260), and the rest of the
    // record is skipped to the end of the file.
    std::string text;
    for (int i = 0; i < 40000; ++i) text += Row() + "\n";  // 2 MB, two chunks
    std::string path = Write("lf.csv", text);
    EXPECT_EQ(0, m_db.Execute(Statement(path, 0)));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
    EXPECT_NE(std::string::npos,
              m_db.GetLastErrorText().find(
                  "Bulk load data conversion error (truncation) for row 1, column 11 "
                  "(ApplicationName)."))
        << m_db.GetLastErrorText();
    // Within MAXERRORS: the one faulty record, nothing loaded.
    EXPECT_EQ(1, m_db.Execute(Statement(path, 1))) << m_db.GetLastErrorText();
    EXPECT_EQ(0, Count());
}

struct OverlongCase {
    const char* name;
    std::string content;
    long rows;            // loaded with MAXERRORS 10
    const char* message;  // the row message with MAXERRORS 0
    friend void PrintTo(const OverlongCase& c, std::ostream* os) { *os << c.name; }
};

class OverlongCases : public HostileTest, public ::testing::WithParamInterface<OverlongCase> {};

TEST_P(OverlongCases, OneFaultyRowThenTheNext) {
    const OverlongCase& c = GetParam();
    std::string path = Write("a.csv", c.content);
    EXPECT_EQ(0, m_db.Execute(Statement(path, 0)));
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find(c.message))
        << m_db.GetLastErrorText();
    EXPECT_EQ(1, m_db.Execute(Statement(path, 10))) << m_db.GetLastErrorText();
    EXPECT_EQ(c.rows, Count());
}

const std::string kMegabyte(3 << 20, 'x');  // longer than a chunk of the reader

const OverlongCase kOverlongCases[] = {
    {"a field without its terminator, past a chunk",
     Row() + "\r\n" +
         "0\xFE"
         "2026/12/01\xFEPC" +
         kMegabyte + "\r\n" + Row() + "\r\n",
     1,
     // the record runs on to the third line's CR LF after its 0xFE's
     "truncation) for row 2, column 3 (ComputerName)."},
    {"an overlong field found whole",
     Row() + "\r\n" +
         "0\xFE"
         "2026/12/01\xFEPC" +
         std::string(300, 'x') + "\xFEu\xFE\xFE\xFE\xFE\xFE\xFE\xFE\r\n" + Row() + "\r\n",
     2, "truncation) for row 2, column 3 (ComputerName)."},
    {"an earlier field's error is named first",
     Row() + "\r\n" + "0\xFEnot a date\xFEPC" + kMegabyte +
         "\xFEu\xFE\xFE\xFE\xFE\xFE\xFE\xFE\r\n" + Row() + "\r\n",
     2,
     "(type mismatch or invalid character for the specified codepage) for row 2, column 2 "
     "(LogDate)."},
    {"a number field of blanks past its limit",
     Row("2026/12/01", std::string(1000, ' ') + "1") + "\r\n" + Row() + "\r\n", 1,
     "(type mismatch or invalid character for the specified codepage) for row 1, column 9 "
     "(FileSize)."},
    {"an overlong last field",
     Row() + "\r\n" + Row("2026/12/01", "1", "0", kMegabyte) + "\r\n" + Row() + "\r\n", 2,
     "truncation) for row 2, column 11 (ApplicationName)."},
};

INSTANTIATE_TEST_SUITE_P(Cases, OverlongCases, ::testing::ValuesIn(kOverlongCases), CaseName());

TEST_F(HostileTest, TerminatorsSplitAcrossChunksAreFound) {
    // Records whose CR LF or two-byte field terminator straddles the reader's
    // 1 MiB chunks, at every offset around the boundary.
    for (const char* fieldTerminator : {"0xfe", "||"}) {
        std::string separator = std::string(fieldTerminator) == "||" ? "||" : "\xFE";
        for (size_t shift = 0; shift < 3; ++shift) {
            auto record = [&](size_t application) {
                return "0" + separator + "2026/12/01" + separator + "PC" + separator + "u" +
                       separator + separator + separator + separator + separator + "1" + separator +
                       "0" + separator + std::string(application, 'a') + "\r\n";
            };
            const std::string full = record(250);
            const size_t bare = record(0).size();
            std::string text;
            long rows = 0;
            // Where a record's CR LF ends: its CR and LF on either side of the
            // chunk boundary, then the CR LF just at it and before it.
            const size_t target = (1u << 20) + 1 - shift;
            while (target - text.size() > 2 * full.size()) {
                text += full;
                ++rows;
            }
            // The rest in two records of at most 250 bytes of application.
            size_t rest = target - text.size() - 2 * bare;
            text += record(rest / 2);
            text += record(rest - rest / 2);
            rows += 2;
            EXPECT_EQ(target, text.size());
            text += record(5) + record(6);
            rows += 2;
            std::string path = Write("chunks.csv", text);
            ASSERT_EQ(1, m_db.Execute("DELETE FROM VY_FileOptLog"));
            EXPECT_EQ(1, m_db.Execute(Statement(path, 0, "\\n", fieldTerminator)))
                << fieldTerminator << " " << shift << ": " << m_db.GetLastErrorText();
            EXPECT_EQ(rows, Count()) << fieldTerminator << " " << shift;
            EXPECT_EQ("aaaaaa",
                      Text("SELECT ApplicationName AS v FROM VY_FileOptLog ORDER BY LogID DESC "
                           "LIMIT 1"));
        }
    }
}

TEST_F(HostileTest, RowMessagesAreKeptAsFarAsTheTextShowsThem) {
    // 20000 faulty rows within MAXERRORS, then one more: the text starts with
    // the reason and the first rows, and stays short.
    std::string text;
    for (int i = 0; i < 20001; ++i) text += Row("no date") + "\r\n";
    std::string path = Write("faulty.csv", text);
    Ado::ComError error = Failure(Statement(path, 20000));
    EXPECT_EQ(0x80040E14u, static_cast<unsigned>(error.Error()));
    std::string description = error.Description();
    EXPECT_EQ(0u, description.find(
                      "Cannot bulk load because the maximum number of errors (20000) was "
                      "exceeded.\nBulk load data conversion error (type mismatch or invalid "
                      "character for the specified codepage) for row 1, column 2 (LogDate).\n"))
        << description;
    EXPECT_GE(description.size(), 512u);
    EXPECT_LT(description.size(), 1024u);
    EXPECT_EQ(0, Count());
}

// ---- SQL Server's conversions from text

struct ConversionCase {
    const char* name;
    std::string date, size, drive;
    const char* stored;  // "LogDate|FileSize|DriveType", or null for a faulty row
    friend void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }
};

class ConversionCases : public HostileTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConversionCases, LoadsAsSqlServerConverts) {
    const ConversionCase& c = GetParam();
    std::string path = Write("c.csv", Row(c.date, c.size, c.drive) + "\r\n");
    int ok = m_db.Execute(Statement(path, 0));
    if (!c.stored) {
        EXPECT_EQ(0, ok);
        EXPECT_NE(std::string::npos,
                  m_db.GetLastErrorText().find("(type mismatch or invalid character"))
            << m_db.GetLastErrorText();
        return;
    }
    ASSERT_EQ(1, ok) << m_db.GetLastErrorText();
    EXPECT_EQ(c.stored, Text("SELECT LogDate || '|' || FileSize || '|' || DriveType AS v FROM "
                             "VY_FileOptLog"));
}

const ConversionCase kConversionCases[] = {
    {"separated with slashes", "2026/12/01 10:20:30", "1", "0", "2026-12-01 10:20:30.000|1|0"},
    {"separated with dashes", "2026-12-01 10:20:30.5", "1", "0", "2026-12-01 10:20:30.500|1|0"},
    {"separated with periods", "2026.12.01", "1", "0", "2026-12-01 00:00:00.000|1|0"},
    {"date alone", "2026/12/01", "1", "0", "2026-12-01 00:00:00.000|1|0"},
    {"ISO 8601 with T", "2026-12-01T10:20:30", "1", "0", "2026-12-01 10:20:30.000|1|0"},
    {"ISO 8601 with T and milliseconds", "2026-12-01T10:20:30.123", "1", "0",
     "2026-12-01 10:20:30.123|1|0"},
    {"ISO 8601 needs its seconds", "2026-12-01T10:20", "1", "0", nullptr},
    {"ISO 8601 needs two digits", "2026-12-01T9:20:30", "1", "0", nullptr},
    {"ISO 8601 needs dashes", "2026/12/01T10:20:30", "1", "0", nullptr},
    {"unseparated", "20261201", "1", "0", "2026-12-01 00:00:00.000|1|0"},
    {"unseparated with a time", "20261201 10:20:30.997", "1", "0", "2026-12-01 10:20:30.997|1|0"},
    {"unseparated with an invalid day", "20260230", "1", "0", nullptr},
    {"one-digit month and day", "2026/1/5", "1", "0", "2026-01-05 00:00:00.000|1|0"},
    {"one-digit hour and minute", "2026-1-5 9:5", "1", "0", "2026-01-05 09:05:00.000|1|0"},
    {"one-digit second", "2026/01/05 09:05:7", "1", "0", "2026-01-05 09:05:07.000|1|0"},
    {"milliseconds after a colon", "2026/01/05 09:05:07:5", "1", "0",
     "2026-01-05 09:05:07.007|1|0"},
    {"three-digit month", "2026/012/05", "1", "0", nullptr},
    {"mixed separators", "2026/12-05", "1", "0", nullptr},
    {"four fraction digits", "2026/12/05 10:00:00.1234", "1", "0", nullptr},
    {".999 is the next second", "2026/12/01 10:20:30.999", "1", "0", "2026-12-01 10:20:31.000|1|0"},
    {".002 is .003", "2026/12/01 10:20:30.002", "1", "0", "2026-12-01 10:20:30.003|1|0"},
    {".001 is .000", "2026/12/01 10:20:30.001", "1", "0", "2026-12-01 10:20:30.000|1|0"},
    {".005 is .007", "2026/12/01 10:20:30.005", "1", "0", "2026-12-01 10:20:30.007|1|0"},
    {".994 is .993", "2026/12/01 10:20:30.994", "1", "0", "2026-12-01 10:20:30.993|1|0"},
    {".995 is .997", "2026/12/01 10:20:30.995", "1", "0", "2026-12-01 10:20:30.997|1|0"},
    {".991 is .990", "2026/12/01 10:20:30.991", "1", "0", "2026-12-01 10:20:30.990|1|0"},
    {".999 carries into the next year", "2026-12-31 23:59:59.999", "1", "0",
     "2027-01-01 00:00:00.000|1|0"},
    {".999 carries into a leap day", "2028-02-28 23:59:59.999", "1", "0",
     "2028-02-29 00:00:00.000|1|0"},
    {".999 past the last DATETIME", "9999-12-31 23:59:59.999", "1", "0", nullptr},
    {"last DATETIME", "9999-12-31 23:59:59.997", "1", "0", "9999-12-31 23:59:59.997|1|0"},
    {"before 1753", "1752-12-31", "1", "0", nullptr},
    {"hour 24", "2026/12/01 24:00", "1", "0", nullptr},
    {"blanks around", "  2026/12/01 10:20  ", " 7 ", " 3 ", "2026-12-01 10:20:00.000|7|3"},
    {"BIGINT with leading zeros beyond 19 digits", "2026/12/01", "0000000000000000000000000042",
     "0", "2026-12-01 00:00:00.000|42|0"},
    {"largest BIGINT with leading zeros", "2026/12/01", "+0000009223372036854775807", "0",
     "2026-12-01 00:00:00.000|9223372036854775807|0"},
    {"smallest BIGINT with leading zeros", "2026/12/01", "-0000009223372036854775808", "0",
     "2026-12-01 00:00:00.000|-9223372036854775808|0"},
    {"BIGINT too large", "2026/12/01", "00009223372036854775808", "0", nullptr},
    {"twenty significant digits", "2026/12/01", "10000000000000000000", "0", nullptr},
    {"INT with leading zeros beyond 19 digits", "2026/12/01", "1",
     "000000000000000000000002147483647", "2026-12-01 00:00:00.000|1|2147483647"},
    {"INT too large", "2026/12/01", "1", "00000000000000000000002147483648", nullptr},
    {"zeros alone", "2026/12/01", "0000000000000000000000000", "-000000000000000000000000",
     "2026-12-01 00:00:00.000|0|0"},
    {"a sign alone", "2026/12/01", "-", "0", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, ConversionCases, ::testing::ValuesIn(kConversionCases), CaseName());

// ---- the row terminator

struct TerminatorCase {
    const char* name;
    std::string rowTerminator;  // as the statement writes it
    std::string lineEnd;        // in the file
    long rows;
    std::string lastApplication;  // the last column of the last row
    friend void PrintTo(const TerminatorCase& c, std::ostream* os) { *os << c.name; }
};

class TerminatorCases : public HostileTest, public ::testing::WithParamInterface<TerminatorCase> {};

TEST_P(TerminatorCases, ThreeLines) {
    const TerminatorCase& c = GetParam();
    std::string text = Row("2026/12/01", "1", "0", "one") + c.lineEnd +
                       Row("2026/12/01", "1", "0", "two") + c.lineEnd +
                       Row("2026/12/01", "1", "0", "three") + c.lineEnd;
    std::string path = Write("t.csv", text);
    ASSERT_EQ(1, m_db.Execute(Statement(path, 10, c.rowTerminator))) << m_db.GetLastErrorText();
    EXPECT_EQ(c.rows, Count());
    EXPECT_EQ(c.lastApplication,
              Text("SELECT ApplicationName AS v FROM VY_FileOptLog ORDER BY LogID DESC LIMIT 1"));
}

const TerminatorCase kTerminatorCases[] = {
    {"backslash n is CR LF", "\\n", "\r\n", 3, "three"},
    {"backslash r backslash n is CR LF", "\\r\\n", "\r\n", 3, "three"},
    {"0x0d0a is CR LF", "0x0d0a", "\r\n", 3, "three"},
    {"0x0a is LF alone", "0x0a", "\n", 3, "three"},
    {"0x0a leaves the CR of CR LF as data", "0x0a", "\r\n", 3, "three\r"},
    {"backslash n keeps a lone LF as data", "\\n", "\n", 1,
     Stored("one\n" + Row("2026/12/01", "1", "0", "two") + "\n" +
            Row("2026/12/01", "1", "0", "three") + "\n")},
};

INSTANTIATE_TEST_SUITE_P(Cases, TerminatorCases, ::testing::ValuesIn(kTerminatorCases), CaseName());

// ---- a file that ends inside a record

struct EndCase {
    const char* name;
    std::string content;
    bool succeeds;
    long rows;
    friend void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }
};

class EndOfFileCases : public HostileTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndOfFileCases, WithinMaxErrors) {
    const EndCase& c = GetParam();
    std::string path = Write("e.csv", c.content);
    EXPECT_EQ(c.succeeds ? 1 : 0, m_db.Execute(Statement(path, 10)));
    if (!c.succeeds) {
        EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
        EXPECT_EQ(0u, m_db.GetLastErrorText().find(
                          "ADO Error: Bulk load: An unexpected end of file was encountered in the "
                          "data file."))
            << m_db.GetLastErrorText();
    }
    EXPECT_EQ(c.rows, Count());
}

const EndCase kEndCases[] = {
    {"inside a field",
     Records(3) + "0\xFE"
                  "2026/12/01",
     false, 0},
    {"after a field terminator",
     Records(3) + "0\xFE"
                  "2026/12/01\xFE",
     false, 0},
    {"inside an overlong record",
     Records(3) +
         "0\xFE"
         "2026/12/01\xFE" +
         kMegabyte,
     false, 0},
    {"a blank last line", Records(3) + "\r\n", false, 0},
    {"after a faulty row", Row("bad") + "\r\n" + Records(2) + "0\xFE", false, 0},
    {"last record complete without its terminator", Records(2) + Row(), true, 3},
    {"last record with an empty last field", Records(2) + Row("2026/12/01", "1", "0", ""), true, 3},
    {"half a row terminator is data", Records(2) + Row() + "\r", true, 3},
};

INSTANTIATE_TEST_SUITE_P(Cases, EndOfFileCases, ::testing::ValuesIn(kEndCases), CaseName());

// ---- no standard exception leaves the provider

TEST_F(HostileTest, AllocationFailuresAreComErrors) {
    std::string path = Write("a.csv", Records(3, "\r\n"));
    std::string faulty = Write("b.csv", Row("bad") + "\r\n" + Row("bad") + "\r\n");
    const std::string statements[] = {
        Statement(path, 10), Statement(faulty, 0), Statement(m_dir / "missing.csv", 0),
        "BULK INSERT VY_FileOptLog FROM '" + path + "' WITH ( MAXERRORS = 99999999999999999999 )",
        "SELECT MAX(LogID) AS LogID FROM VY_FileOptLog"};
    for (const std::string& sql : statements) {
        bool injected = true;
        for (long k = 0; injected && k < 100000; ++k) {
            auto session = Ado::OpenEmbeddedSession(ConnectionString(), "", "", 15);
            long affected = 0;
            g_allocationsBeforeFailure = k;
            try {
                session->Execute(sql, 30, &affected);
            } catch (const Ado::ComError&) {
            } catch (const std::exception& e) {
                g_allocationsBeforeFailure = -1;
                ADD_FAILURE() << "allocation " << k << " of " << sql << ": " << e.what();
            }
            injected = g_allocationsBeforeFailure.exchange(-1) < 0;
        }
        EXPECT_FALSE(injected) << sql;
    }
    // Opening a new database too.
    bool injected = true;
    for (long k = 0; injected && k < 100000; ++k) {
        std::string name = m_dir / ("new" + std::to_string(k) + ".db");
        std::string connection = "Provider=Embedded;Data Source=" + name;
        g_allocationsBeforeFailure = k;
        try {
            Ado::OpenEmbeddedSession(connection, "", "", 15);
        } catch (const Ado::ComError&) {
        } catch (const std::exception& e) {
            g_allocationsBeforeFailure = -1;
            ADD_FAILURE() << "allocation " << k << " of the open: " << e.what();
        }
        injected = g_allocationsBeforeFailure.exchange(-1) < 0;
        std::remove(name.c_str());
    }
    EXPECT_FALSE(injected);
}

// ---- several processes creating one database at once

TEST(EmbeddedOpenTogether, EveryProcessOpensANewDatabase) {
    const int kProcesses = 24;
    for (int round = 0; round < 3; ++round) {
        CTempDir dir;
        std::string connection = "Provider=Embedded;Data Source=" + (dir / "veyrith.db");
        int gate[2];
        ASSERT_EQ(0, pipe(gate));
        std::vector<pid_t> children;
        for (int i = 0; i < kProcesses; ++i) {
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                close(gate[1]);
                char c;
                while (read(gate[0], &c, 1) < 0) {
                }  // all start when the gate closes
                int code = 0;
                try {
                    auto session = Ado::OpenEmbeddedSession(connection, "", "", 15);
                    long affected = 0;
                    session->Execute("SELECT COUNT(*) FROM VY_FileOptLog", 15, &affected);
                } catch (const Ado::ComError& error) {
                    std::fprintf(stderr, "open failed: %s\n", error.Description());
                    code = 1;
                }
                _exit(code);
            }
            children.push_back(pid);
        }
        close(gate[0]);
        close(gate[1]);
        int failed = 0;
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(0, failed) << "round " << round;
    }
}

}  // namespace
