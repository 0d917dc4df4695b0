// What every provider does, as the database layer sees it: the error classes
// of the contract in Platform/Ado/Provider.h, typed field reads, and output
// parameters. One body, run on the embedded database, on ODBC over SQLite
// and on ODBC over PostgreSQL; only the fixture differs. A fixture that
// cannot produce a case (SQLite has no stored procedures and no statement
// time limit; a file cannot lose its connection) says so, and the case is
// skipped for it with that reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Server/Ferrowin/database/ADOCommand.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADOParameter.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/PostgresServer.h"
#include "tests/Support/TempDir.h"

namespace {

// ------------------------------------------------------------- fixtures

// A column type that one server adds, and the text it reads as.
struct ServerKind {
    const char* type;
    const char* literal;
    const char* text;
    const char* dateFormat = "";
    std::optional<std::int32_t> number = std::nullopt;  // as a 32-bit read gives it
};

class CProviderFixture {
public:
    virtual ~CProviderFixture() = default;
    virtual std::string ConnectionString() = 0;
    // A string whose open fails: no such database or server.
    virtual std::string UnopenableConnectionString() = 0;
    // A statement that runs for longer than one second, or none.
    virtual std::optional<std::string> SlowStatement() { return std::nullopt; }
    // Ends the session behind `db` from outside; false when it cannot.
    virtual bool DropConnection(CADODatabase&) { return false; }
    // The text of prdUpdateVYLog's "strReturn" after a successful call, or
    // none when the provider has no procedures.
    virtual std::optional<std::string> RefreshText() { return std::nullopt; }
    // Column types beyond the common ones, with the driver's conversions.
    virtual std::vector<ServerKind> ServerKinds() { return {}; }
};

class CEmbeddedFixture : public CProviderFixture {
public:
    std::string ConnectionString() override {
        return "Provider=Embedded;Data Source=" + (m_dir / "contract.db");
    }
    std::string UnopenableConnectionString() override {
        return "Provider=Embedded;Data Source=" + (m_dir / "missing/contract.db");
    }
    // A load of a file with a hole of a terabyte: the load reads on until
    // its time is up.
    std::optional<std::string> SlowStatement() override {
        std::string path = m_dir / "big.csv";
        WriteFile(path, "1");
        if (truncate(path.c_str(), 1LL << 40) != 0)
            return std::nullopt;
        return "BULK INSERT VY_FileOptLog FROM '" + path +
               "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = 10 )";
    }
    std::optional<std::string> RefreshText() override { return std::string(); }

private:
    CTempDir m_dir;
};

class COdbcSqliteFixture : public CProviderFixture {
public:
    // A driver string: the driver manager reads odbc.ini once per process,
    // so a data source per test would not be seen.
    std::string ConnectionString() override {
        return "Driver=SQLite3;Database=" + (m_dir / "contract.db") + ";";
    }
    std::string UnopenableConnectionString() override { return "FerrowinNoSuchSource"; }

private:
    CTempDir m_dir;
};

// One server for the whole process, started on first use.
CPostgresServer& Server() {
    static std::unique_ptr<CPostgresServer> server = [] {
        auto s = std::make_unique<CPostgresServer>();
        if (s->Psql("CREATE FUNCTION prdUpdateVYLog(OUT strReturn char(256)) AS "
                    "$$ SELECT 'refreshed'::char(256) $$ LANGUAGE sql;") != 0)
            throw std::runtime_error("cannot create prdUpdateVYLog");
        return s;
    }();
    return *server;
}

class CPostgresFixture : public CProviderFixture {
public:
    CPostgresFixture() { Server().Psql("DROP TABLE IF EXISTS kinds, ids, VY_AsDataRunning;"); }
    std::string ConnectionString() override {
        return Server().ConnectionString() + "BoolsAsChar=0;";
    }
    std::string UnopenableConnectionString() override {
        return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
               std::to_string(Server().Port()) + ";Database=nosuchdatabase;UID=postgres;";
    }
    std::optional<std::string> SlowStatement() override { return "select pg_sleep(10)"; }
    bool DropConnection(CADODatabase& db) override {
        CADORecordset rs(&db);
        std::int32_t pid = 0;
        if (!rs.Open("select pg_backend_pid() as pid") || !rs.GetFieldValue("pid", pid))
            return false;
        return Server().Psql("SELECT pg_terminate_backend(" + std::to_string(pid) + ");") == 0;
    }
    std::optional<std::string> RefreshText() override { return std::string("refreshed"); }
    std::vector<ServerKind> ServerKinds() override {
        return {
            {"smallint", "-7", "-7", "", -7},
            {"boolean", "true", "T", "", -1},  // VT_BOOL true
            {"numeric(10,3)", "-12.345", "-12.345000000000000639"},
            {"timestamp", "'2026-12-09 08:07:06'", "2026-12-09 08:07:06"},
            {"timestamp", "'2026-12-09 08:07:06'", "09/12/2026", "%d/%m/%Y"},
            {"double precision", "0.1", "0.10000000000000000555"},
            {"real", "1.5", "1.5"},
        };
    }
};

struct ProviderParam {
    const char* name;
    std::function<std::unique_ptr<CProviderFixture>()> make;
    friend void PrintTo(const ProviderParam& p, std::ostream* os) { *os << p.name; }
};

class ProviderContract : public ::testing::TestWithParam<ProviderParam> {
protected:
    void SetUp() override {
        m_fixture = GetParam().make();
        ASSERT_EQ(1, m_db.Open(m_fixture->ConnectionString())) << m_db.GetLastErrorText();
        // The embedded database brings these; the others get the same layout.
        m_db.Execute("CREATE TABLE VY_AsDataRunning (DataRunning INT)");
    }

    std::unique_ptr<CProviderFixture> m_fixture;
    CADODatabase m_db;
};

// ---------------------------------------------------------- error classes

TEST_P(ProviderContract, StatementErrorKeepsTheSession) {
    EXPECT_EQ(0, m_db.Execute("INSERT INTO NoSuchTable VALUES (1)"));
    EXPECT_EQ(0x80040E14u, m_db.GetLastErrorCode()) << m_db.GetLastErrorText();
    EXPECT_EQ(0u, m_db.GetLastErrorText().find("ADO Error: "));
    EXPECT_NE(std::string::npos, m_db.GetLastErrorText().find("(80040e14)"));

    CADORecordset rs(&m_db);
    EXPECT_EQ(0, rs.Open("select * from NoSuchTable"));
    EXPECT_EQ(0x80040E14u, rs.GetLastErrorCode()) << rs.GetLastErrorText();

    EXPECT_EQ(1, m_db.IsOpen());
    EXPECT_EQ(1, m_db.Execute("DELETE FROM VY_AsDataRunning")) << m_db.GetLastErrorText();
}

TEST_P(ProviderContract, UnopenableDatabaseIsALostConnection) {
    CADODatabase db;
    EXPECT_EQ(0, db.Open(m_fixture->UnopenableConnectionString()));
    EXPECT_EQ(0x80004005u, db.GetLastErrorCode()) << db.GetLastErrorText();
    EXPECT_EQ(0u, db.GetLastErrorText().find("ADO Error: "));
    EXPECT_EQ(0, db.IsOpen());
}

TEST_P(ProviderContract, TimeOutKeepsTheSession) {
    std::optional<std::string> slow = m_fixture->SlowStatement();
    if (!slow)
        GTEST_SKIP() << "the provider has no statement time limit";
    m_db.GetConnection()->SetCommandTimeout(1);
    EXPECT_EQ(0, m_db.Execute(*slow));
    EXPECT_EQ(0x80040E31u, m_db.GetLastErrorCode()) << m_db.GetLastErrorText();
    EXPECT_EQ(1, m_db.IsOpen());
    EXPECT_EQ(1, m_db.Execute("DELETE FROM VY_AsDataRunning")) << m_db.GetLastErrorText();
}

TEST_P(ProviderContract, LostConnectionIsEFailAndTheNextStatementRunsReopened) {
    if (!m_fixture->DropConnection(m_db))
        GTEST_SKIP() << "the provider's connection cannot be lost from outside";
    EXPECT_EQ(0, m_db.Execute("DELETE FROM VY_AsDataRunning"));
    EXPECT_EQ(0x80004005u, m_db.GetLastErrorCode()) << m_db.GetLastErrorText();
    EXPECT_EQ(1, m_db.IsOpen());
    EXPECT_EQ(1, m_db.Execute("DELETE FROM VY_AsDataRunning")) << m_db.GetLastErrorText();
}

// ------------------------------------------------------- typed field reads

// One row of a table with a column of each kind the importer reads.
const char kKindsTable[] =
    "CREATE TABLE kinds (i INT, big BIGINT, d DOUBLE PRECISION, s VARCHAR(20), z INTEGER)";
const char kKindsRow[] = "INSERT INTO kinds VALUES (70000, 9000000000, 2.5, 'テキスト', NULL)";

TEST_P(ProviderContract, TypedFieldReads) {
    ASSERT_EQ(1, m_db.Execute(kKindsTable)) << m_db.GetLastErrorText();
    ASSERT_EQ(1, m_db.Execute(kKindsRow)) << m_db.GetLastErrorText();
    CADORecordset rs(&m_db);
    ASSERT_NE(0, rs.Open("select i, big, d, s, z from kinds")) << rs.GetLastErrorText();
    ASSERT_EQ(1, rs.GetRecordCount());

    // A 64-bit value has no text: the read gives 0 and leaves it unchanged.
    struct TextCase {
        const char* field;
        const char* text;  // null: no text
    };
    for (TextCase c : {TextCase{"i", "70000"}, TextCase{"big", nullptr}, TextCase{"d", "2.5"},
                       TextCase{"s", "テキスト"}, TextCase{"z", ""}}) {
        std::string text = "unchanged";
        EXPECT_EQ(c.text ? 1 : 0, rs.GetFieldValue(c.field, text)) << c.field;
        EXPECT_EQ(c.text ? c.text : "unchanged", text) << c.field;
    }
    std::string byIndex;
    EXPECT_EQ(1, rs.GetFieldValue(0, byIndex));
    EXPECT_EQ("70000", byIndex);

    std::int32_t i32 = 0;
    EXPECT_EQ(1, rs.GetFieldValue("i", i32));
    EXPECT_EQ(70000, i32);
    std::int64_t i64 = 0;
    EXPECT_EQ(1, rs.GetFieldValue("big", i64));
    EXPECT_EQ(9000000000LL, i64);
    i64 = -1;
    EXPECT_EQ(1, rs.GetFieldValue("z", i64));  // NULL reads as 0
    EXPECT_EQ(0, i64);
    EXPECT_EQ(1, rs.IsFieldNull("z"));
    EXPECT_EQ(0, rs.IsFieldNull("i"));
    double d = 0;
    EXPECT_EQ(1, rs.GetFieldValue("d", d));
    EXPECT_DOUBLE_EQ(2.5, d);
    bool flag = true;
    EXPECT_EQ(0, rs.GetFieldValue("s", flag));  // text is no boolean: left alone
    EXPECT_TRUE(flag);

    // A field that does not exist: 0, the output unchanged, the error kept.
    i64 = -1;
    EXPECT_EQ(0, rs.GetFieldValue("nothing", i64));
    EXPECT_EQ(-1, i64);
    EXPECT_EQ(0x800A0CC1u, rs.GetLastErrorCode());
    EXPECT_EQ(0u, rs.GetLastErrorText().find("ADO Error: Item cannot be found"));
}

TEST_P(ProviderContract, ServerKindsReadAsText) {
    std::vector<ServerKind> kinds = m_fixture->ServerKinds();
    if (kinds.empty())
        GTEST_SKIP() << "the provider adds no column types";
    for (const ServerKind& k : kinds) {
        SCOPED_TRACE(std::string(k.type) + " " + k.literal);
        ASSERT_EQ(1, m_db.Execute(std::string("CREATE TEMP TABLE k (v ") + k.type + ")"));
        ASSERT_EQ(1, m_db.Execute(std::string("INSERT INTO k VALUES (") + k.literal + ")"));
        CADORecordset rs(&m_db);
        ASSERT_NE(0, rs.Open("select v from k")) << rs.GetLastErrorText();
        std::string text = "unchanged";
        EXPECT_EQ(1, rs.GetFieldValue("v", text, k.dateFormat));
        EXPECT_EQ(k.text, text);
        if (k.number) {
            std::int32_t number = 0;
            EXPECT_EQ(1, rs.GetFieldValue("v", number));
            EXPECT_EQ(*k.number, number);
        }
        rs.Close();
        ASSERT_EQ(1, m_db.Execute("DROP TABLE k"));
    }
}

TEST_P(ProviderContract, LargestLogIdOfAnEmptyTableAndBeyond32Bits) {
    ASSERT_EQ(1, m_db.Execute("CREATE TABLE ids (LogID BIGINT)")) << m_db.GetLastErrorText();
    auto largest = [&] {
        CADORecordset rs(&m_db);
        std::int64_t value = -1;
        if (!rs.Open("SELECT MAX(LogID) as LogID FROM ids"))
            return std::int64_t{-2};
        if (rs.GetRecordCount() != 0)
            rs.GetFieldValue("LogID", value);
        return value;
    };
    EXPECT_EQ(0, largest());
    ASSERT_EQ(1, m_db.Execute("INSERT INTO ids VALUES (5000000000)"));
    EXPECT_EQ(5000000000LL, largest());
}

// ------------------------------------------------------ output parameters

TEST_P(ProviderContract, ProcedureFillsItsFixedLengthOutput) {
    std::optional<std::string> expected = m_fixture->RefreshText();
    if (!expected)
        GTEST_SKIP() << "the provider has no stored procedures";
    CADOCommand command(&m_db, "prdUpdateVYLog", Ado::adCmdStoredProc);
    CADOParameter output(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
    ASSERT_EQ(1, output.SetValue("unchanged"));
    ASSERT_EQ(1, command.AddParameter(&output));
    command.SetTimeout(3600);
    ASSERT_EQ(1, command.Execute()) << command.GetLastErrorText();
    std::string text;
    ASSERT_EQ(1, output.GetValue(text));
    EXPECT_EQ(*expected + std::string(256 - expected->size(), ' '), text);
}

TEST_P(ProviderContract, MissingProcedureIsAStatementError) {
    CADOCommand command(&m_db, "prdMissing", Ado::adCmdStoredProc);
    CADOParameter output(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
    ASSERT_EQ(1, command.AddParameter(&output));
    EXPECT_EQ(0, command.Execute());
    EXPECT_EQ(0x80040E14u, command.GetLastErrorCode()) << command.GetLastErrorText();
    std::string text = command.GetLastErrorText();
    EXPECT_EQ(0u, text.find("CADOCommand Error\n\tCode = 80040e14\n"
                            "\tCode meaning = IDispatch error #3092\n\tSource = "))
        << text;
    EXPECT_EQ('\n', text.back());
    EXPECT_EQ(1, m_db.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Providers, ProviderContract,
    ::testing::Values(
        ProviderParam{"Embedded", [] { return std::make_unique<CEmbeddedFixture>(); }},
        ProviderParam{"OdbcSqlite", [] { return std::make_unique<COdbcSqliteFixture>(); }},
        ProviderParam{"OdbcPostgres", [] { return std::make_unique<CPostgresFixture>(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
