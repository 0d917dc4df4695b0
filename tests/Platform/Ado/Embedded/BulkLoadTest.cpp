// The embedded database, through the database layer as the importer uses it:
// BULK INSERT of real files, MAX("LogID"), the procedure and the failures.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "Platform/Ado/Embedded/BulkInsert.h"
#include "Schema/LogSchema.h"
#include "Server/Ferrowin/database/ADOCommand.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADOParameter.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/ParamName.h"
#include "tests/Support/TempDir.h"
#include "tools/LogGenerator.h"

using Sample::Fault;

namespace {

const int kFileKind = 0;  // VY_FileOptLog: 11 columns, ApplicationName last

std::string Statement(const std::string& path, int maxErrors,
                      const std::string& table = "VY_FileOptLog") {
    return "BULK INSERT " + table + " FROM '" + path +
           "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = " +
           std::to_string(maxErrors) + " )";
}

// Records 1..n of the file kind; `faults` gives a fault by row number.
std::string Records(int n, std::map<int, Fault> faults = {}, bool finalCrLf = true) {
    Sample::CLogGenerator generator(7);
    std::string text;
    for (int row = 1; row <= n; ++row) {
        auto it = faults.find(row);
        text += generator.Record(kFileKind, static_cast<std::uint64_t>(row),
                                 it == faults.end() ? Fault::None : it->second);
        if (row < n || finalCrLf)
            text += "\r\n";
    }
    return text;
}

class EmbeddedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, m_db.Open(ConnectionString())) << m_db.GetLastErrorText();
    }
    std::string ConnectionString() const {
        return "Provider=Embedded;Data Source=" + (m_dir / "veyrith.db");
    }
    std::int64_t MaxLogId(const char* table = "VY_FileOptLog") {
        CADORecordset rs(&m_db);
        std::int64_t value = -1;
        if (!rs.Open(std::string("SELECT MAX(LogID) as LogID FROM ") + table))
            return -2;
        if (rs.GetRecordCount() != 0)
            rs.GetFieldValue("LogID", value);
        return value;
    }
    long Count(const std::string& where = "") {
        CADORecordset rs(&m_db);
        std::int32_t value = -1;
        if (!rs.Open("SELECT COUNT(*) AS n FROM VY_FileOptLog " + where))
            return -2;
        rs.GetFieldValue("n", value);
        return value;
    }
    std::string Text(const std::string& sql, const char* field) {
        CADORecordset rs(&m_db);
        std::string value = "<none>";
        if (rs.Open(sql) && rs.GetRecordCount() != 0)
            rs.GetFieldValue(field, value);
        return value;
    }
    std::string Load(const std::string& name, const std::string& content) {
        WriteFile(m_dir / name, content);
        return m_dir / name;
    }

    CTempDir m_dir;
    CADODatabase m_db;
};

struct LoadCase {
    const char* name;
    std::string content;
    int maxErrors;
    bool succeeds;
    long rows;              // rows in the table afterwards
    const char* errorText;  // part of the error text of a failed statement
    friend void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }
};

class BulkLoadCases : public EmbeddedTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(BulkLoadCases, Load) {
    const LoadCase& c = GetParam();
    std::string path = Load("FileLogFile_1.csv", c.content);
    int result = m_db.Execute(Statement(path, c.maxErrors));
    EXPECT_EQ(c.succeeds ? 1 : 0, result) << m_db.GetLastErrorText();
    EXPECT_EQ(c.rows, Count());
    if (!c.succeeds) {
        EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
        EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find(c.errorText))
            << m_db.GetLastErrorText();
        EXPECT_EQ(1, m_db.IsOpen());
    } else {
        EXPECT_EQ(c.rows, m_db.GetRecordsAffected());
    }
}

const LoadCase kLoadCases[] = {
    {"clean file", Records(5), 10, true, 5, ""},
    {"errors up to MAXERRORS load the rest",
     Records(10, {{2, Fault::BadDate}, {5, Fault::BadDate}, {9, Fault::BadDate}}), 3, true, 7, ""},
    {"one error beyond MAXERRORS fails and commits nothing",
     Records(10,
             {{2, Fault::BadDate}, {4, Fault::BadDate}, {5, Fault::BadDate}, {9, Fault::BadDate}}),
     3, false, 0,
     "Cannot bulk load because the maximum number of errors (3) was exceeded.\n"
     "Bulk load data conversion error (type mismatch or invalid character for the specified "
     "codepage) for row 2, column 2 (LogDate)."},
    {"MAXERRORS 0 fails on the first error", Records(3, {{3, Fault::BadDate}}), 0, false, 0,
     "for row 3, column 2 (LogDate)"},
    {"empty file", "", 10, true, 0, ""},
    {"too few fields merge two lines into one failed record",
     Records(5, {{2, Fault::TooFewFields}}), 10, true, 3, ""},
    {"too few fields name the column that failed", Records(5, {{2, Fault::TooFewFields}}), 0, false,
     0, "for row 2, column 10 (DriveType)"},
    {"too many fields go to the last column", Records(4, {{2, Fault::TooManyFields}}), 0, true, 4,
     ""},
    {"lone LF inside a field is data", Records(4, {{3, Fault::LfInField}}), 0, true, 4, ""},
    {"last record without CR LF", Records(4, {}, false), 0, true, 4, ""},
    {"invalid code page 932", Records(4, {{1, Fault::InvalidCp932}}), 0, false, 0,
     "(type mismatch or invalid character for the specified codepage) for row 1, column 3 "
     "(ComputerName)"},
    {"invalid code page 932 within MAXERRORS", Records(4, {{1, Fault::InvalidCp932}}), 1, true, 3,
     ""},
    {"VARCHAR overflow", Records(3, {{2, Fault::Overflow}}), 0, false, 0,
     "Bulk load data conversion error (truncation) for row 2, column 4 (UserName)"},
    {"file that ends inside a record",
     Records(2) + "0\xFE"
                  "2026/12/01",
     0, false, 0, "unexpected end of file"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BulkLoadCases, ::testing::ValuesIn(kLoadCases), CaseName());

TEST_F(EmbeddedTest, StoredValuesFollowTheColumns) {
    // Text in code page 932 arrives as UTF-8; a separator inside the last
    // field stays data; a lone LF too.
    std::string path =
        Load("a.csv", Records(3, {{2, Fault::TooManyFields}, {3, Fault::LfInField}}));
    ASSERT_EQ(1, m_db.Execute(Statement(path, 0))) << m_db.GetLastErrorText();
    std::string file = Text("SELECT FileName FROM VY_FileOptLog WHERE LogID = 1", "FileName");
    EXPECT_NE(std::string::npos, file.find("_1.")) << file;
    EXPECT_TRUE(
        file.find("議事録") != std::string::npos || file.find("見積書") != std::string::npos ||
        file.find("報告書") != std::string::npos || file.find("請求書") != std::string::npos ||
        file.find("設計資料") != std::string::npos || file.find("売上集計") != std::string::npos)
        << file;
    std::string last =
        Text("SELECT ApplicationName FROM VY_FileOptLog WHERE LogID = 2", "ApplicationName");
    EXPECT_EQ("\xEF\xA3\xB2surplus", last.substr(last.size() - 10)) << last;
    EXPECT_EQ("line1\nline2",
              Text("SELECT UserName FROM VY_FileOptLog WHERE LogID = 3", "UserName"));
    EXPECT_EQ("2026-12-01 00:00:01",
              Text("SELECT LogDate FROM VY_FileOptLog WHERE LogID = 1", "LogDate"));
}

TEST_F(EmbeddedTest, EmptyFieldsTakeDefaultNullOrEmptyText) {
    // LogID, LogDate, ComputerName (NOT NULL text), UserName, DomainName,
    // Operation, FileName, DestFileName, FileSize, DriveType (default 0), ...
    std::string row = std::string("\xFE") + "2026/12/09 10:00:00" +
                      "\xFE\xFE\xFE\xFE\xFE\xFE\xFE\xFE\xFE" + "\r\n";
    std::string path = Load("b.csv", row);
    ASSERT_EQ(1, m_db.Execute(Statement(path, 0))) << m_db.GetLastErrorText();
    CADORecordset rs(&m_db);
    ASSERT_NE(0, rs.Open("SELECT ComputerName, UserName, FileSize, DriveType FROM VY_FileOptLog"));
    std::string computer = "x";
    EXPECT_EQ(1, rs.GetFieldValue("ComputerName", computer));
    EXPECT_EQ("", computer);
    EXPECT_EQ(0, rs.IsFieldNull("ComputerName"));
    EXPECT_EQ(1, rs.IsFieldNull("UserName"));
    EXPECT_EQ(1, rs.IsFieldNull("FileSize"));
    std::int32_t drive = -1;
    EXPECT_EQ(1, rs.GetFieldValue("DriveType", drive));
    EXPECT_EQ(0, drive);
    EXPECT_EQ(0, rs.IsFieldNull("DriveType"));

    // An empty NOT NULL date is a faulty record.
    std::string noDate = Load("c.csv", "0\xFE\xFEPC\xFE\xFE\xFE\xFE\xFE\xFE\xFE\xFE\r\n");
    EXPECT_EQ(0, m_db.Execute(Statement(noDate, 0)));
    EXPECT_NE(std::string::npos,
              m_db.GetLastErrorText().find("Cannot insert the value NULL into column 'LogDate'"));
}

TEST_F(EmbeddedTest, LogIdOnlyGrows) {
    EXPECT_EQ(0, MaxLogId());  // NULL over an empty table reads as 0
    ASSERT_EQ(1, m_db.Execute(Statement(Load("a.csv", Records(5)), 10)));
    EXPECT_EQ(5, MaxLogId());
    ASSERT_EQ(1, m_db.Execute("DELETE FROM VY_FileOptLog"));
    EXPECT_EQ(0, MaxLogId());
    ASSERT_EQ(1, m_db.Execute(Statement(Load("b.csv", Records(3)), 10)));
    EXPECT_EQ(8, MaxLogId());
    // A failed load leaves the high-water mark where it was.
    EXPECT_EQ(0, m_db.Execute(Statement(Load("c.csv", Records(2, {{1, Fault::BadDate}})), 0)));
    EXPECT_EQ(8, MaxLogId());
    ASSERT_EQ(1, m_db.Execute(Statement(Load("d.csv", Records(1)), 0)));
    EXPECT_GT(MaxLogId(), 8);
}

TEST_F(EmbeddedTest, PathsAndStatementErrors) {
    std::string path = Load("it's.csv", Records(2));
    std::string escaped = m_dir / "it''s.csv";
    EXPECT_EQ(1, m_db.Execute(Statement(escaped, 0))) << m_db.GetLastErrorText();
    EXPECT_EQ(2, Count());

    // The importer puts the path in unchanged: the statement is malformed.
    EXPECT_EQ(0, m_db.Execute(Statement(path, 0)));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find("Incorrect syntax near"));

    EXPECT_EQ(0, m_db.Execute(Statement(m_dir / "missing.csv", 0)));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find(
                                     "Cannot bulk load. The file \"" + (m_dir / "missing.csv") +
                                     "\" does not exist or you don't have file access "
                                     "rights."));

    EXPECT_EQ(0, m_db.Execute(Statement(escaped, 0, "VY_NoSuchTable")));
    EXPECT_NE(std::string::npos,
              m_db.GetLastErrorText().find("Invalid object name 'VY_NoSuchTable'"));
    EXPECT_EQ(0, m_db.Execute("SELEC 1"));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
    EXPECT_EQ(1, m_db.IsOpen());

    // Option numbers that are none, or beyond the int range.
    for (std::string number : {"-", "99999999999999999999", "-2147483649"}) {
        EXPECT_EQ(0, m_db.Execute("BULK INSERT VY_FileOptLog FROM 'x' WITH (MAXERRORS = " + number +
                                  ")"));
        EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode()) << number;
    }

    EXPECT_EQ(0, m_db.Execute("BULK INSERT [] FROM 'x' WITH (MAXERRORS = 1)"));
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find("missing or empty"))
        << m_db.GetLastErrorText();

    // Text that does not tokenize is no BULK INSERT: SQLite reports it.
    EXPECT_FALSE(Ado::Embedded::IsBulkInsert(" [bulk insert [x"));
    EXPECT_TRUE(Ado::Embedded::IsBulkInsert("bulk insert [x"));
    EXPECT_EQ(0, m_db.Execute(" [bulk insert [x"));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
    EXPECT_EQ(std::string::npos, m_db.GetLastErrorText().find("Incorrect syntax near '['"))
        << m_db.GetLastErrorText();
}

TEST_F(EmbeddedTest, DataRunningStatementsRunAsWritten) {
    CADORecordset rs(&m_db);
    ASSERT_NE(0, rs.Open("select DataRunning from VY_AsDataRunning"));
    EXPECT_EQ(0, rs.GetRecordCount());
    ASSERT_NE(0, rs.Open("insert into VY_AsDataRunning values(0)"));
    EXPECT_EQ(0, rs.IsOpen());
    ASSERT_NE(0, rs.Open("UPDATE VY_AsDataRunning set DataRunning = 1"));
    ASSERT_NE(0, rs.Open("select DataRunning from VY_AsDataRunning"));
    ASSERT_EQ(1, rs.GetRecordCount());
    std::int32_t value = -1;
    EXPECT_EQ(1, rs.GetFieldValue("DataRunning", value));
    EXPECT_EQ(1, value);
}

TEST_F(EmbeddedTest, UpdateProcedureRefreshesHistory) {
    ASSERT_EQ(1, m_db.Execute(Statement(Load("a.csv", Records(4)), 0)));
    auto run = [&](std::string* text) {
        CADOCommand command(&m_db, "prdUpdateVYLog", Ado::adCmdStoredProc);
        CADOParameter parameter(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
        command.AddParameter(&parameter);
        command.SetTimeout(3600);
        int ok = command.Execute();
        parameter.GetValue(*text);
        return ok;
    };
    auto history = [&](const char* table, const char* field) {
        CADORecordset rs(&m_db);
        std::int64_t value = -1;
        if (rs.Open(std::string("SELECT * FROM VY_LogHistory WHERE TableName = '") + table + "'") &&
            rs.GetRecordCount() == 1)
            rs.GetFieldValue(field, value);
        return value;
    };
    std::string text;
    ASSERT_EQ(1, run(&text));
    EXPECT_EQ(std::string(256, ' '), text);
    EXPECT_EQ(4, history("VY_FileOptLog", "LogCount"));
    EXPECT_EQ(4, history("VY_FileOptLog", "MaxLogID"));
    EXPECT_EQ(0, history("VY_WinAuthLog", "LogCount"));
    EXPECT_EQ(0, history("VY_WinAuthLog", "MaxLogID"));  // NULL maximum

    // A failure inside the procedure comes back as its text, padded.
    ASSERT_EQ(1, m_db.Execute("DROP TABLE VY_AsPrinter"));
    ASSERT_EQ(1, run(&text));
    EXPECT_EQ(256u, text.size());
    EXPECT_EQ(0u, text.find("no such table: VY_AsPrinter")) << text;

    CADOCommand missing(&m_db, "prdNothing", Ado::adCmdStoredProc);
    EXPECT_EQ(0, missing.Execute());
    EXPECT_NE(std::string::npos,
              missing.GetLastErrorText().find("Could not find stored procedure 'prdNothing'."));
}

TEST_F(EmbeddedTest, LockedDatabaseIsALostConnection) {
    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((m_dir / "veyrith.db").c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    m_db.GetConnection()->SetCommandTimeout(1);
    EXPECT_EQ(0, m_db.Execute(Statement(Load("a.csv", Records(2)), 0)));
    EXPECT_EQ(0x80004005u, m_db.GetLastErrorCode()) << m_db.GetLastErrorText();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    // The layer has reopened the connection; the next load goes through.
    EXPECT_EQ(1, m_db.IsOpen());
    EXPECT_EQ(1, m_db.Execute(Statement(m_dir / "a.csv", 0))) << m_db.GetLastErrorText();
}

TEST(EmbeddedOpen, UnopenableFileIsEFail) {
    CADODatabase db;
    EXPECT_EQ(0, db.Open("Provider=Embedded;Data Source=/nonexistent-folder/x.db"));
    EXPECT_EQ(0x80004005u, db.GetLastErrorCode());
    EXPECT_EQ(0u, db.GetLastErrorText().find("ADO Error: Cannot open database"));
    CTempDir dir;
    WriteFile(dir / "garbage.db", std::string(8192, 'g'));
    EXPECT_EQ(0, db.Open("Provider=Embedded;Data Source=" + (dir / "garbage.db")));
    EXPECT_EQ(0x80004005u, db.GetLastErrorCode());
}

}  // namespace
