// The database layer through unixODBC and the SQLite ODBC driver.
#include <gtest/gtest.h>

#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/TempDir.h"

namespace {

class OdbcSqliteTest : public ::testing::Test {
protected:
    OdbcSqliteTest() : m_odbcIni("ODBCINI", m_dir / "odbc.ini") {
        WriteFile(m_dir / "odbc.ini",
                  "[FerrowinTest]\nDriver=SQLite3\nDatabase=" + (m_dir / "test.db") + "\n");
    }
    void SetUp() override {
        ASSERT_EQ(1, m_db.Open("FerrowinTest", "", "")) << m_db.GetLastErrorText();
        ASSERT_EQ(1, m_db.Execute("CREATE TABLE VY_FileOptLog (LogID INTEGER PRIMARY KEY "
                                  "AUTOINCREMENT, LogDate VARCHAR(19), UserName VARCHAR(64))"));
        ASSERT_EQ(1, m_db.Execute("CREATE TABLE VY_AsDataRunning (DataRunning INT)"));
    }

    CTempDir m_dir;
    CScopedEnv m_odbcIni;
    CADODatabase m_db;
};

std::int64_t MaxLogId(CADODatabase& db) {
    CADORecordset rs(&db);
    std::int64_t value = -1;
    if (!rs.Open("SELECT MAX(LogID) as LogID FROM VY_FileOptLog"))
        return -2;
    if (rs.GetRecordCount() != 0)
        rs.GetFieldValue("LogID", value);
    return value;
}

TEST_F(OdbcSqliteTest, OpensByDsnAndByConnectionString) {
    EXPECT_EQ(1, m_db.IsOpen());
    CADODatabase other;
    ASSERT_EQ(1, other.Open("Driver=SQLite3;Database=" + (m_dir / "test.db") + ";"))
        << other.GetLastErrorText();
    EXPECT_EQ(1, other.Execute("INSERT INTO VY_FileOptLog (LogDate) VALUES ('x')"));
    EXPECT_EQ(1, other.GetRecordsAffected());
    other.Close();
    EXPECT_EQ(0, other.IsOpen());
    // Reopening with an empty string uses the stored one.
    EXPECT_EQ(1, other.Open(""));
    EXPECT_EQ(1, other.IsOpen());
}

TEST_F(OdbcSqliteTest, AggregateOnEmptyTableAndBeyond32Bits) {
    EXPECT_EQ(0, MaxLogId(m_db));  // NULL maximum reads as 0
    ASSERT_EQ(1,
              m_db.Execute("INSERT INTO VY_FileOptLog (LogID, LogDate) VALUES (5000000000, 'a')"));
    EXPECT_EQ(5000000000LL, MaxLogId(m_db));
    ASSERT_EQ(1, m_db.Execute("INSERT INTO VY_FileOptLog (LogDate) VALUES ('b')"));
    EXPECT_EQ(5000000001LL, MaxLogId(m_db));
}

TEST_F(OdbcSqliteTest, DataChangingStatementsThroughTheRecordset) {
    CADORecordset rs(&m_db);
    ASSERT_NE(0, rs.Open("insert into VY_AsDataRunning values(0)"));
    EXPECT_EQ(0, rs.IsOpen());
    rs.Close();  // does nothing
    ASSERT_NE(0, rs.Open("UPDATE VY_AsDataRunning set DataRunning = 1"));
    EXPECT_EQ(0, rs.IsOpen());

    // Leading blanks and any letter case still make a query.
    ASSERT_NE(0,
              rs.Open("  \tSeLeCt DataRunning from VY_AsDataRunning", CADORecordset::Unspecified));
    EXPECT_EQ(1, rs.IsOpen());
    EXPECT_EQ(1, rs.GetRecordCount());
    std::int32_t running = -1;
    EXPECT_EQ(1, rs.GetFieldValue("DataRunning", running));
    EXPECT_EQ(1, running);
    // Opening again closes first.
    ASSERT_NE(0, rs.Open("select DataRunning from VY_AsDataRunning where DataRunning = 7"));
    EXPECT_EQ(0, rs.GetRecordCount());
}

TEST_F(OdbcSqliteTest, FailedStatementKeepsTheConnection) {
    EXPECT_EQ(0, m_db.Execute("INSERT INTO NoSuchTable VALUES (1)"));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode());
    EXPECT_EQ(0u, m_db.GetLastErrorText().find("ADO Error: [HY000]"));
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find("no such table"));
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find("(80040e14)"));
    EXPECT_EQ(1, m_db.IsOpen());

    CADORecordset rs(&m_db);
    EXPECT_EQ(0, rs.Open("select * from NoSuchTable"));
    EXPECT_EQ(0x80040E14u, rs.GetLastErrorCode());
    EXPECT_EQ(1, m_db.IsOpen());
}

TEST_F(OdbcSqliteTest, ErrorTextIsCutTo512AndSurvivesSuccess) {
    std::string name(600, 'q');
    EXPECT_EQ(0, m_db.Execute("SELECT * FROM " + name));
    std::string text = m_db.GetLastErrorText();
    EXPECT_EQ(512u, text.size());
    EXPECT_EQ(0u, text.find("ADO Error: "));
    EXPECT_EQ(1, m_db.Execute("DELETE FROM VY_AsDataRunning"));
    EXPECT_EQ(text, m_db.GetLastErrorText());
}

TEST(OdbcOpen, EmptyStringsReachTheDriverManagerAndFail) {
    CADODatabase db;
    EXPECT_EQ(0, db.Open("", "", ""));
    EXPECT_EQ(0x80004005u, db.GetLastErrorCode());
    EXPECT_EQ(0u, db.GetLastErrorText().find("ADO Error: "));
    EXPECT_EQ(0, db.IsOpen());
}

TEST(OdbcOpen, BuildersOfConnectionStrings) {
    CADODatabase db;
    EXPECT_EQ(0, db.OpenSqlServer("srv", "VeyrithDB", "", ""));
    EXPECT_EQ(
        "Provider=SQLOLEDB.1; Data Source=srv; Initial Catalog=VeyrithDB; "
        "Integrated Security=SSPI;",
        db.GetConnectionString());
    EXPECT_EQ(0, db.OpenSqlServer("srv", "VeyrithDB", "sa", "pw"));
    EXPECT_EQ("Provider=SQLOLEDB.1; Data Source=srv; Initial Catalog=VeyrithDB; User ID=sa; PWD=pw",
              db.GetConnectionString());
    // Jet has no ODBC stand-in: the open fails with the provider error.
    EXPECT_EQ(0, db.OpenJet("/tmp/x.mdb", "pw"));
    EXPECT_EQ(0x800A0E7Au, db.GetLastErrorCode());
}

}  // namespace
