// T-SQL's explicit transactions on the embedded database: a bulk load inside
// one is part of it, and a failed load undoes only its own rows.
#include <gtest/gtest.h>

#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/TempDir.h"
#include "tools/LogGenerator.h"

namespace {

class EmbeddedTransaction : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, m_db.Open("Provider=Embedded;Data Source=" + (m_dir / "t.db")));
        Sample::CLogGenerator generator(3);
        ASSERT_TRUE(generator.WriteFile(m_dir / "good.csv", 0, 10));
        ASSERT_TRUE(generator.WriteFile(m_dir / "bad.csv", 0, 20, Sample::Fault::BadDate, 1));
    }
    std::string Load(const char* file) {
        return "BULK INSERT VY_FileOptLog FROM '" + (m_dir / file) +
               "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = 10 )";
    }
    std::int64_t Rows(CADODatabase& db) {
        CADORecordset rs(&db);
        EXPECT_EQ(1, rs.Open("SELECT COUNT(*) as n FROM VY_FileOptLog"));
        std::int64_t n = -1;
        rs.GetFieldValue("n", n);
        return n;
    }

    CTempDir m_dir;
    CADODatabase m_db;
};

TEST_F(EmbeddedTransaction, LoadsCommitOrRollBackWithTheirTransaction) {
    const struct {
        const char* name;
        std::vector<std::string> statements;  // "good" and "bad" stand for the loads
        std::vector<int> results;
        std::int64_t rows;
    } cases[] = {
        {"committed", {"BEGIN TRANSACTION", "good", "COMMIT TRANSACTION"}, {1, 1, 1}, 10},
        {"rolled back", {"BEGIN TRAN", "good", "ROLLBACK TRANSACTION"}, {1, 1, 1}, 0},
        {"a failed load inside keeps the rest",
         {"BEGIN TRANSACTION", "good", "bad", "good", "COMMIT TRANSACTION"},
         {1, 1, 0, 1, 1},
         20},
        {"a second BEGIN is refused",
         {"BEGIN TRANSACTION", "BEGIN TRANSACTION", "ROLLBACK"},
         {1, 0, 1},
         0},
        {"COMMIT without a transaction is refused", {"COMMIT TRANSACTION"}, {0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(1, m_db.Execute("DELETE FROM VY_FileOptLog"));
        for (size_t i = 0; i < c.statements.size(); ++i) {
            const std::string& s = c.statements[i];
            std::string sql = s == "good" ? Load("good.csv") : s == "bad" ? Load("bad.csv") : s;
            EXPECT_EQ(c.results[i], m_db.Execute(sql)) << sql << ": " << m_db.GetLastErrorText();
            if (!c.results[i]) {
                EXPECT_EQ(static_cast<std::uint32_t>(Ado::kDbErrorsInCommand),
                          m_db.GetLastErrorCode());
            }
        }
        EXPECT_EQ(c.rows, Rows(m_db));
    }
}

// Rows of an open transaction are seen by its own connection only, and are
// gone when the connection closes without a commit (a killed program).
TEST_F(EmbeddedTransaction, UncommittedLoadIsGoneWithItsConnection) {
    ASSERT_EQ(1, m_db.Execute("BEGIN TRANSACTION"));
    ASSERT_EQ(1, m_db.Execute(Load("good.csv")));
    EXPECT_EQ(10, Rows(m_db));
    m_db.Close();
    CADODatabase other;
    ASSERT_EQ(1, other.Open("Provider=Embedded;Data Source=" + (m_dir / "t.db")));
    EXPECT_EQ(0, Rows(other));
}

}  // namespace
