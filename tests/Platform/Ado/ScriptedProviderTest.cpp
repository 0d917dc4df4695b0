// The scripted provider and the provider registry, through the real database
// layer: each failure or answer is one line of set-up.
#include "Platform/Ado/Scripted/ScriptedProvider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "Server/Ferrowin/database/ADOCommand.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADOParameter.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/TempDir.h"

using namespace Ado;
using Scripted::Call;
using Scripted::Script;
using Scripted::SeenCall;

namespace {

const char kScripted[] = "Provider=Scripted";
const long kConnectTimeout = 9;
const long kStatementTimeout = 77;

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
    return text;
}

class ScriptedProviderTest : public ::testing::Test {
protected:
    void SetUp() override { Script().Reset(); }
    void TearDown() override {
        EXPECT_EQ(0u, Script().Pending()) << "a scripted rule never applied";
    }

    // Opens `db` on the scripted provider with known timeouts.
    static void Open(CADODatabase& db, const std::string& connectionString = kScripted) {
        db.SetConnectionTimeout(kConnectTimeout);
        ASSERT_EQ(1, db.Open(connectionString)) << db.GetLastErrorText();
        db.GetConnection()->SetCommandTimeout(kStatementTimeout);
    }
};

SeenCall Opened(int session) {
    return {Call::Open, session, kScripted, kConnectTimeout, kSOk};
}
SeenCall Closed(int session) {
    return {Call::Close, session, "", 0, kSOk};
}
SeenCall Statement(int session, const std::string& sql, HRESULT result = kSOk) {
    return {Call::Statement, session, sql, kStatementTimeout, result};
}

// ------------------------------------------------------------ statements

struct ExecuteCase {
    const char* name;
    HRESULT hr;
    bool reconnects;
};

const ExecuteCase kExecuteCases[] = {
    {"a lost connection is reopened", kEFail, true},
    {"a time-out keeps the connection", kDbTimeout, false},
    {"an error in the command keeps the connection", kDbErrorsInCommand, false},
};

TEST_F(ScriptedProviderTest, ExecuteFailsAndReconnectsOnlyAfterEFail) {
    for (const ExecuteCase& c : kExecuteCases) {
        SCOPED_TRACE(c.name);
        Script().Reset();
        CADODatabase db;
        Open(db);

        Script().FailStatement("BULK INSERT", c.hr, "[08S01] scripted failure");

        EXPECT_EQ(0, db.Execute("BULK INSERT VY_FileOptLog FROM 'a.csv'"));
        EXPECT_EQ(static_cast<std::uint32_t>(c.hr), db.GetLastErrorCode());
        EXPECT_EQ("ADO Error: [08S01] scripted failure(" + Hex(c.hr) + ")", db.GetLastErrorText());
        EXPECT_EQ(1, db.IsOpen());
        // The rule is used up: the next statement runs, on the new session
        // after a reconnection.
        db.GetConnection()->SetCommandTimeout(kStatementTimeout);
        EXPECT_EQ(1, db.Execute("BULK INSERT VY_UrlLog FROM 'b.csv'"));

        std::vector<SeenCall> expected = {
            Opened(1), Statement(1, "BULK INSERT VY_FileOptLog FROM 'a.csv'", c.hr)};
        if (c.reconnects)
            expected.insert(expected.end(), {Closed(1), Opened(2)});
        expected.push_back(Statement(c.reconnects ? 2 : 1, "BULK INSERT VY_UrlLog FROM 'b.csv'"));
        EXPECT_EQ(expected, Script().Log());
    }
}

TEST_F(ScriptedProviderTest, RulesApplyByPartOfTheTextInOrderAndTimes) {
    CADODatabase db;
    Open(db);
    Script().FailStatement("VY_AsDataRunning", kDbErrorsInCommand, "first", 2);
    Script().FailStatement("", kDbTimeout, "any");

    // The first rule does not apply, so the second (any statement) takes it.
    EXPECT_EQ(0, db.Execute("BULK INSERT VY_UrlLog FROM 'a.csv'"));
    EXPECT_EQ(static_cast<std::uint32_t>(kDbTimeout), db.GetLastErrorCode());
    EXPECT_EQ(0, db.Execute("UPDATE VY_AsDataRunning SET DataRunning = 1"));
    EXPECT_EQ("ADO Error: first(80040e14)", db.GetLastErrorText());
    EXPECT_EQ(0, db.Execute("UPDATE VY_AsDataRunning SET DataRunning = 0"));
    EXPECT_EQ(1, db.Execute("UPDATE VY_AsDataRunning SET DataRunning = 0"));  // used up
}

// ---------------------------------------------------------------- queries

struct QueryCase {
    const char* name;
    ResultSet rows;
    long count;
    std::int64_t logId;  // of the first row, by name and by index 0
};

const QueryCase kQueryCases[] = {
    {"beyond 32 bits", {{"LogID"}, {{Variant::I8(5000000000)}}}, 1, 5000000000},
    {"several rows and columns",
     {{"LogID", "Note"}, {{Variant::I4(7), Variant::Text("a")}, {Variant::I4(8), Variant::Null()}}},
     2,
     7},
};

TEST_F(ScriptedProviderTest, RecordsetOpenIsAnsweredWithScriptedRows) {
    CADODatabase db;
    Open(db);
    for (const QueryCase& c : kQueryCases) {
        SCOPED_TRACE(c.name);
        Script().AnswerQuery("MAX(LogID)", c.rows);
        CADORecordset rs(&db);
        ASSERT_EQ(1, rs.Open("SELECT MAX(LogID) as LogID FROM VY_FileOptLog"))
            << rs.GetLastErrorText();
        EXPECT_EQ(c.count, rs.GetRecordCount());
        std::int64_t byName = -1;
        std::int32_t byIndex = -1;
        EXPECT_EQ(1, rs.GetFieldValue("LogID", byName));
        EXPECT_EQ(1, rs.GetFieldValue(0, byIndex));
        EXPECT_EQ(c.logId, byName);
        EXPECT_EQ(static_cast<std::int32_t>(c.logId), byIndex);
    }
    // Without a rule a query succeeds without rows.
    CADORecordset rs(&db);
    EXPECT_EQ(1, rs.Open("SELECT MAX(LogID) as LogID FROM VY_FileOptLog"));
    EXPECT_EQ(0, rs.IsOpen());
}

// ------------------------------------------------------------- procedures

struct ProcedureCase {
    const char* name;
    void (*script)();
    int result;
    std::uint32_t code;
    std::string strReturn;  // the output's text after the call
    int sessionsOpened;
};

const ProcedureCase kProcedureCases[] = {
    {"outputs set by the script",
     [] {
         Script().SetOutputs("prdUpdateVYLog", {{"@strReturn", Variant::Text("disk full")}});
     },
     1, 0, "disk full", 1},
    {"a time-out",
     [] { Script().FailProcedure("PRDUPDATEVYLOG", kDbTimeout, "Query timeout expired"); }, 0,
     0x80040E31, "unchanged", 1},
    {"a lost connection is reopened",
     [] { Script().FailProcedure("prdUpdateVYLog", kEFail, "[08S01] link down"); }, 0, 0x80004005,
     "unchanged", 2},
    {"an output that the call lacks",
     [] {
         Script().SetOutputs("prdUpdateVYLog", {{"strMissing", Variant::Text("x")}});
     },
     0, 0x80040E14, "unchanged", 1},
    {"no rule: outputs as they were", [] {}, 1, 0, "unchanged", 1},
};

TEST_F(ScriptedProviderTest, CommandOutputsAndFailuresComeFromTheScript) {
    for (const ProcedureCase& c : kProcedureCases) {
        SCOPED_TRACE(c.name);
        Script().Reset();
        CADODatabase db;
        Open(db);
        c.script();
        CADOCommand command(&db, "prdUpdateVYLog", adCmdStoredProc);
        command.SetTimeout(3600);
        CADOParameter output(adChar, 256, adParamOutput, "strReturn");
        ASSERT_EQ(1, output.SetValue("unchanged"));
        ASSERT_EQ(1, command.AddParameter(&output));

        EXPECT_EQ(c.result, command.Execute()) << command.GetLastErrorText();
        EXPECT_EQ(c.code, command.GetLastErrorCode());
        std::string value;
        EXPECT_EQ(1, output.GetValue(value));
        EXPECT_EQ(c.strReturn, value);

        std::vector<SeenCall> log = Script().Log();
        auto procedure = std::find_if(log.begin(), log.end(),
                                      [](const SeenCall& s) { return s.call == Call::Procedure; });
        ASSERT_NE(log.end(), procedure);
        EXPECT_EQ("prdUpdateVYLog", procedure->text);
        EXPECT_EQ(3600, procedure->timeoutSeconds);
        EXPECT_EQ(c.sessionsOpened, std::count_if(log.begin(), log.end(), [](const SeenCall& s) {
                      return s.call == Call::Open;
                  }));
    }
}

// ------------------------------------------------------------------ opens

TEST_F(ScriptedProviderTest, FailedOpenReturnsZeroWithTheText) {
    struct Case {
        HRESULT hr;
        const char* description;
    };
    for (Case c : {Case{kEFail, "[08001] Login timeout expired"},
                   Case{kAdoProviderNotFound, "Provider cannot be found."}}) {
        SCOPED_TRACE(c.description);
        Script().Reset();
        Script().FailOpen(c.hr, c.description, 2);
        CADODatabase db;
        EXPECT_EQ(0, db.Open(kScripted));
        EXPECT_EQ(0, db.Open(""));  // again with the stored string
        EXPECT_EQ(0, db.IsOpen());
        EXPECT_EQ(static_cast<std::uint32_t>(c.hr), db.GetLastErrorCode());
        EXPECT_EQ("ADO Error: " + std::string(c.description) + "(" + Hex(c.hr) + ")",
                  db.GetLastErrorText());
        EXPECT_EQ(1, db.Open(""));  // the third open succeeds
        std::vector<SeenCall> expected = {{Call::Open, 0, kScripted, 15, c.hr},
                                          {Call::Open, 0, kScripted, 15, c.hr},
                                          {Call::Open, 1, kScripted, 15, kSOk}};
        EXPECT_EQ(expected, Script().Log());
    }
}

TEST_F(ScriptedProviderTest, LostConnectionThatCannotBeReopenedLeavesItClosed) {
    CADODatabase db;
    Open(db);
    Script().FailStatement("", kEFail, "[08S01] link down");
    Script().FailOpen(kEFail, "[08001] server gone");
    EXPECT_EQ(0, db.Execute("SELECT 1"));
    EXPECT_EQ(0, db.IsOpen());
    EXPECT_EQ("ADO Error: [08001] server gone(80004005)", db.GetLastErrorText());
}

// A closed connection fails every operation with 0x800A0E7D: only a recordset
// open takes that as a reason to reopen it.
TEST_F(ScriptedProviderTest, OnlyARecordsetOpenReopensAClosedConnection) {
    struct Case {
        const char* name;
        int (*run)(CADODatabase& db);
        bool reopens;
    };
    const Case cases[] = {
        {"statement", [](CADODatabase& db) { return db.Execute("UPDATE VY_AsDataRunning"); },
         false},
        {"procedure",
         [](CADODatabase& db) {
             CADOCommand command(&db, "prdUpdateVYLog", adCmdStoredProc);
             return command.Execute();
         },
         false},
        {"recordset open",
         [](CADODatabase& db) {
             CADORecordset rs(&db);
             return rs.Open("SELECT DataRunning FROM VY_AsDataRunning");
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Script().Reset();
        CADODatabase db;
        Open(db);
        db.Close();
        EXPECT_EQ(0, c.run(db));
        EXPECT_EQ(c.reopens ? 1 : 0, db.IsOpen());
    }
}

// ------------------------------------------------- a real inner database

TEST_F(ScriptedProviderTest, TargetRunsWhatNoRuleInterceptsOnTheInnerDatabase) {
    CTempDir dir;
    CADODatabase db;
    std::string target = "Provider=Embedded;Data Source=" + (dir / "log.db");
    Open(db, "Provider=scripted; Target={" + target + "}");

    ASSERT_EQ(1, db.Execute("INSERT INTO VY_AsDataRunning (DataRunning) VALUES (2)"))
        << db.GetLastErrorText();
    Script().FailStatement("UPDATE VY_AsDataRunning", kDbErrorsInCommand, "scripted");
    EXPECT_EQ(0, db.Execute("UPDATE VY_AsDataRunning SET DataRunning = 1"));
    CADORecordset rs(&db);
    ASSERT_EQ(1, rs.Open("SELECT DataRunning FROM VY_AsDataRunning")) << rs.GetLastErrorText();
    std::int32_t value = -1;
    EXPECT_EQ(1, rs.GetFieldValue("DataRunning", value));
    EXPECT_EQ(2, value);  // the update never reached the database

    // A failure of the inner database is logged with its code.
    EXPECT_EQ(0, db.Execute("SELECT * FROM NoSuchTable"));
    EXPECT_EQ(static_cast<std::uint32_t>(kDbErrorsInCommand), db.GetLastErrorCode());

    // The procedure runs on the inner database: blank text on success.
    CADOCommand command(&db, "prdUpdateVYLog", adCmdStoredProc);
    CADOParameter output(adChar, 256, adParamOutput, "strReturn");
    ASSERT_EQ(1, command.AddParameter(&output));
    EXPECT_EQ(1, command.Execute()) << command.GetLastErrorText();
    std::string text = "x";
    EXPECT_EQ(1, output.GetValue(text));
    EXPECT_EQ(std::string::npos, text.find_first_not_of(' '));

    std::vector<SeenCall> log = Script().Log();
    ASSERT_EQ(6u, log.size());
    EXPECT_EQ(Call::Open, log[0].call);
    EXPECT_EQ(kSOk, log[1].result);
    EXPECT_EQ(kDbErrorsInCommand, log[2].result);
    EXPECT_EQ(Statement(1, "SELECT DataRunning FROM VY_AsDataRunning"), log[3]);
    EXPECT_EQ(Statement(1, "SELECT * FROM NoSuchTable", kDbErrorsInCommand), log[4]);
    EXPECT_EQ(Call::Procedure, log[5].call);
}

TEST_F(ScriptedProviderTest, TargetThatCannotOpenFailsTheOpen) {
    CADODatabase db;
    EXPECT_EQ(0, db.Open("Provider=Scripted;Target={Provider=Embedded}"));
    EXPECT_EQ(static_cast<std::uint32_t>(kEFail), db.GetLastErrorCode());
    ASSERT_EQ(1u, Script().Log().size());
    EXPECT_EQ(kEFail, Script().Log()[0].result);
}

// ------------------------------------------------------ the registry

int g_ownOpens = 0;

TEST_F(ScriptedProviderTest, ATestCanRegisterItsOwnProvider) {
    g_ownOpens = 0;
    RegisterProvider("Mine", [](const std::string& connectionString, const std::string&,
                                const std::string&, long) {
        ++g_ownOpens;
        return OpenScriptedSession(connectionString, "", "", 0);
    });
    CADODatabase db;
    EXPECT_EQ(1, db.Open("provider=MINE;Data Source=x"));
    EXPECT_EQ(1, g_ownOpens);
    db.Close();

    // Forgotten, the name goes to ODBC, which refuses an unknown provider.
    UnregisterProvider("mine");
    EXPECT_EQ(0, db.Open("Provider=Mine;Data Source=x"));
    EXPECT_EQ(1, g_ownOpens);
    EXPECT_EQ(static_cast<std::uint32_t>(kAdoProviderNotFound), db.GetLastErrorCode());
}

TEST_F(ScriptedProviderTest, EverythingElseStillGoesToOdbc) {
    struct Case {
        const char* connectionString;
        std::uint32_t code;
    };
    const Case cases[] = {
        // Jet is refused by the ODBC provider before any driver is asked.
        {"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/nowhere/x.mdb", 0x800A0E7A},
        // A bare name and a Key=Value string reach the driver manager.
        {"NoSuchFerrowinDsn", 0x80004005},
        {"Driver={No Such Driver};Database=x", 0x80004005},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connectionString);
        CADODatabase db;
        EXPECT_EQ(0, db.Open(c.connectionString));
        EXPECT_EQ(c.code, db.GetLastErrorCode());
        EXPECT_NE(std::string::npos, db.GetLastErrorText().find("ADO Error: "))
            << db.GetLastErrorText();
    }
    EXPECT_TRUE(Script().Log().empty());
}

}  // namespace
