// The database layer against a real PostgreSQL server through unixODBC: lost
// connections, reconnection, procedures with output parameters, time-outs.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "Server/Ferrowin/database/ADOCommand.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADOParameter.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/PostgresServer.h"

namespace {

CPostgresServer* g_server = nullptr;

class PostgresEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_server = std::make_unique<CPostgresServer>();
        g_server = m_server.get();
        ASSERT_EQ(0, g_server->Psql("CREATE FUNCTION prdUpdateVYLog(OUT strReturn char(256)) AS "
                                    "$$ SELECT 'refreshed'::char(256) $$ LANGUAGE sql;"));
    }
    void TearDown() override {
        g_server = nullptr;
        m_server.reset();
    }

private:
    std::unique_ptr<CPostgresServer> m_server;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new PostgresEnvironment);

std::string ConnectionString() {
    return g_server->ConnectionString() + "BoolsAsChar=0;";
}

// The server process behind a connection, to terminate it from outside.
int BackendPid(CADODatabase& db) {
    CADORecordset rs(&db);
    std::int32_t pid = 0;
    if (rs.Open("select pg_backend_pid() as pid"))
        rs.GetFieldValue("pid", pid);
    return pid;
}

void Terminate(int pid) {
    ASSERT_EQ(0, g_server->Psql("SELECT pg_terminate_backend(" + std::to_string(pid) + ");"));
}

TEST(Postgres, LostConnectionGivesEFailAndReconnects) {
    CADODatabase db;
    ASSERT_EQ(1, db.Open(ConnectionString())) << db.GetLastErrorText();
    int before = BackendPid(db);
    ASSERT_NE(0, before);
    Terminate(before);

    EXPECT_EQ(0, db.Execute("CREATE TEMP TABLE t (x int)"));
    EXPECT_EQ(0x80004005u, db.GetLastErrorCode()) << db.GetLastErrorText();
    EXPECT_EQ(1, db.IsOpen());
    EXPECT_EQ(1, db.Execute("CREATE TEMP TABLE t (x int)")) << db.GetLastErrorText();
    int after = BackendPid(db);
    EXPECT_NE(0, after);
    EXPECT_NE(before, after);
}

TEST(Postgres, LostConnectionDuringCommandReconnects) {
    CADODatabase db;
    ASSERT_EQ(1, db.Open(ConnectionString()));
    int before = BackendPid(db);
    Terminate(before);
    CADOCommand command(&db, "prdUpdateVYLog", Ado::adCmdStoredProc);
    CADOParameter parameter(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
    ASSERT_EQ(1, command.AddParameter(&parameter));
    EXPECT_EQ(0, command.Execute());
    EXPECT_EQ(0x80004005u, command.GetLastErrorCode());
    EXPECT_EQ(1, db.IsOpen());
    EXPECT_NE(before, BackendPid(db));
}

TEST(Postgres, SecondFailureDuringAReconnectionDoesNotStartAnother) {
    CADODatabase db;
    db.SetConnectionTimeout(5);
    ASSERT_EQ(1, db.Open(ConnectionString()));
    Terminate(BackendPid(db));

    // With the postmaster stopped, the reconnection's open waits.
    pid_t postmaster = g_server->PostmasterPid();
    ASSERT_EQ(0, kill(postmaster, SIGSTOP));
    auto failing = std::async(std::launch::async, [&] { return db.Execute("select 1"); });
    for (int i = 0; i < 200 && !db.IsReconnecting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool reconnecting = db.IsReconnecting();

    auto start = std::chrono::steady_clock::now();
    int second = db.Reconnect(Ado::kEFail);
    auto waited = std::chrono::steady_clock::now() - start;
    kill(postmaster, SIGCONT);

    EXPECT_TRUE(reconnecting);
    EXPECT_EQ(0, second);
    EXPECT_LT(waited, std::chrono::milliseconds(500));
    EXPECT_EQ(0, failing.get());
    EXPECT_EQ(0x80004005u, db.GetLastErrorCode());
    EXPECT_FALSE(db.IsReconnecting());
    if (!db.IsOpen()) {
        EXPECT_EQ(1, db.Open(""));  // the first may have timed out
    }
    EXPECT_EQ(1, db.Execute("select 1")) << db.GetLastErrorText();
}

TEST(Postgres, ProcedureOutputParameterIsBlankPadded) {
    CADODatabase db;
    ASSERT_EQ(1, db.Open(ConnectionString()));
    CADOCommand command(&db, "prdUpdateVYLog", Ado::adCmdText);  // executed as a procedure anyway
    CADOParameter parameter(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
    ASSERT_EQ(1, command.AddParameter(&parameter));
    command.SetTimeout(3600);
    ASSERT_EQ(1, command.Execute()) << command.GetLastErrorText();
    std::string text;
    ASSERT_EQ(1, parameter.GetValue(text));
    EXPECT_EQ("refreshed" + std::string(247, ' '), text);
}

TEST(Postgres, MissingProcedureGivesTheCommandErrorReport) {
    CADODatabase db;
    ASSERT_EQ(1, db.Open(ConnectionString()));
    CADOCommand command(&db, "prdMissing", Ado::adCmdStoredProc);
    CADOParameter parameter(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
    ASSERT_EQ(1, command.AddParameter(&parameter));
    EXPECT_EQ(0, command.Execute());
    EXPECT_EQ(0x80040E14u, command.GetLastErrorCode());
    std::string text = command.GetLastErrorText();
    EXPECT_EQ(0u, text.find("CADOCommand Error\n\tCode = 80040e14\n"
                            "\tCode meaning = IDispatch error #3092\n"
                            "\tSource = Microsoft OLE DB Provider for ODBC Drivers\n"
                            "\tDescription = [42883] "))
        << text;
    EXPECT_EQ('\n', text.back());
    EXPECT_EQ(1, db.IsOpen());
}

TEST(Postgres, StatementTimeoutIsNotALostConnection) {
    CADODatabase db;
    ASSERT_EQ(1, db.Open(ConnectionString()));
    db.GetConnection()->SetCommandTimeout(1);
    EXPECT_EQ(0, db.Execute("select pg_sleep(10)"));
    EXPECT_EQ(0x80040E31u, db.GetLastErrorCode()) << db.GetLastErrorText();
    EXPECT_EQ(1, db.IsOpen());
    EXPECT_EQ(1, db.Execute("select 1"));
}

}  // namespace
