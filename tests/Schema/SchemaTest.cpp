// The T-SQL script in Database/ against the one table definition and the
// embedded database's own schema.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <regex>

#include "Schema/LogKind.h"
#include "Schema/LogSchema.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tests/Support/TempDir.h"
#include "tools/TransactSqlSchema.h"

using namespace Schema;

namespace {

struct Column {
    std::string name, type;
    bool notNull;
    bool operator==(const Column&) const = default;
};
using Layout = std::map<std::string, std::vector<Column>>;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Tables and columns as the T-SQL script declares them.
Layout ParseTransactSql(const std::string& script) {
    Layout layout;
    std::regex table(R"(CREATE TABLE \[dbo\]\.\[(\w+)\] \(\n((?:    .*\n)+)\);\nGO\n)");
    std::regex column(
        R"(^    \[(\w+)\] ([A-Z]+(?:\(\d+\))?)(?: IDENTITY\(1,1\))? (NOT NULL|NULL)(?: CONSTRAINT \[DF_\w+\] DEFAULT \(.+\))?,?$)");
    for (std::sregex_iterator it(script.begin(), script.end(), table), end; it != end; ++it) {
        std::string body = (*it)[2];
        std::vector<Column>& columns = layout[(*it)[1]];
        std::stringstream lines(body);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (std::regex_match(line, m, column))
                columns.push_back({m[1], m[2], m[3] == "NOT NULL"});
            else
                EXPECT_EQ(0u, line.find("    CONSTRAINT [PK_")) << "unexpected line: " << line;
        }
    }
    return layout;
}

std::vector<std::string> SchemaTableNames() {
    std::vector<std::string> names;
    for (const TableDef& t : Tables()) names.push_back(t.name);
    return names;
}

// Columns of the named tables of a freshly created embedded database; a table
// that does not exist has no entry.
Layout ReadEmbedded(const std::string& path, const std::vector<std::string>& tables) {
    Layout layout;
    sqlite3* db = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    for (const std::string& table : tables) {
        sqlite3_stmt* stmt = nullptr;
        std::string sql = "PRAGMA table_info(" + table + ")";
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
            std::string type = Upper(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)));
            bool notNull = sqlite3_column_int(stmt, 3) != 0;
            bool key = sqlite3_column_int(stmt, 5) != 0;
            // SQLite's identity is INTEGER PRIMARY KEY; the server's BIGINT IDENTITY.
            if (type == "INTEGER" && key) {
                type = "BIGINT";
                notNull = true;
            }
            layout[table].push_back({name, type, notNull});
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return layout;
}

TEST(Schema, ScriptInDatabaseFolderIsTheGeneratedOne) {
    EXPECT_EQ(TransactSqlSchema(), ReadFile(SOURCE_DIR "/Database/VeyrithSchema.sql"))
        << "regenerate with: build/linux-debug/gen-schema > Database/VeyrithSchema.sql";
}

// The script that adds the ledger to an existing server is the ledger's part
// of the whole script.
TEST(Schema, LedgerScriptIsTheGeneratedOneAndPartOfTheWholeScript) {
    std::string ledger = ReadFile(SOURCE_DIR "/Database/VeyrithLoadLedger.sql");
    EXPECT_EQ(LedgerTransactSql(), ledger)
        << "regenerate with: build/linux-debug/gen-schema --ledger > "
           "Database/VeyrithLoadLedger.sql";
    std::string batches = ledger.substr(ledger.find("CREATE TABLE"));
    EXPECT_NE(std::string::npos, TransactSqlSchema().find(batches));
    Layout script = ParseTransactSql(ledger);
    ASSERT_EQ(1u, script.size());
    EXPECT_EQ(8u, script[kLedgerTable].size());
}

// A database made before the ledger (schema version 1) gets the ledger table
// on its next opening, and keeps its rows.
TEST(Schema, OlderEmbeddedDatabaseGetsTheLedger) {
    CTempDir dir;
    std::string path = dir / "old.db";
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
        for (const std::string& statement : SqliteSchema()) {
            if (statement.find(kLedgerTable) == std::string::npos) {
                ASSERT_EQ(SQLITE_OK,
                          sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr));
            }
        }
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(db,
                                          "INSERT INTO VY_AsDataRunning VALUES (2); "
                                          "PRAGMA user_version = 1",
                                          nullptr, nullptr, nullptr));
        sqlite3_close(db);
    }
    ASSERT_EQ(0u, ReadEmbedded(path, {kLedgerTable}).count(kLedgerTable));
    {
        CADODatabase db;
        ASSERT_EQ(1, db.Open("Provider=Embedded;Data Source=" + path)) << db.GetLastErrorText();
        CADORecordset rs(&db);
        ASSERT_EQ(1, rs.Open("SELECT DataRunning as n FROM VY_AsDataRunning"));
        std::int32_t value = 0;
        EXPECT_EQ(1, rs.GetFieldValue("n", value));
        EXPECT_EQ(2, value);
    }
    Layout layout = ReadEmbedded(path, {kLedgerTable});
    Layout script = ParseTransactSql(ReadFile(SOURCE_DIR "/Database/VeyrithLoadLedger.sql"));
    EXPECT_EQ(script[kLedgerTable], layout[kLedgerTable]);
}

TEST(Schema, ScriptAgreesWithTheEmbeddedDatabaseColumnForColumn) {
    CTempDir dir;
    {
        CADODatabase db;
        ASSERT_EQ(1, db.Open("Provider=Embedded;Data Source=" + (dir / "new.db")));
    }
    Layout embedded = ReadEmbedded(dir / "new.db", SchemaTableNames());
    Layout script = ParseTransactSql(ReadFile(SOURCE_DIR "/Database/VeyrithSchema.sql"));
    ASSERT_EQ(20u, script.size());
    EXPECT_EQ(script, embedded);
}

// The seventeen log tables are those of kLogKinds, in kind order, and no other.
TEST(Schema, LogTablesAreTheKindsTables) {
    std::vector<std::string> logTables;
    for (const TableDef& t : Tables())
        if (t.logTable)
            logTables.push_back(t.name);
    std::vector<std::string> kindTables;
    for (const LogKindDef& kind : kLogKinds) kindTables.push_back(kind.table);
    EXPECT_EQ(kindTables, logTables);
    EXPECT_STREQ("VY_AsVirus", LogKindTable(6));
}

// What the importer relies on, read from the database that the embedded
// provider creates: every kind's table exists and starts with a "LogID"
// identity whose new values lie above the previous maximum;
// "VY_AsDataRunning" has one integer column; the install-software table has
// fifteen columns, the date eleventh.
TEST(Schema, EveryKindsTableHasTheLayoutTheImporterReliesOn) {
    CTempDir dir;
    CADODatabase db;
    ASSERT_EQ(1, db.Open("Provider=Embedded;Data Source=" + (dir / "new.db")));
    std::vector<std::string> names = {kDataRunningTable};
    for (const LogKindDef& kind : kLogKinds) names.push_back(kind.table);
    Layout embedded = ReadEmbedded(dir / "new.db", names);

    for (const LogKindDef& kind : kLogKinds) {
        SCOPED_TRACE(kind.table);
        ASSERT_EQ(1u, embedded.count(kind.table)) << "no table";
        // The integer primary key, SQLite's identity, read as BIGINT NOT NULL.
        EXPECT_EQ((Column{"LogID", "BIGINT", true}), embedded[kind.table].at(0));
        // A value is never handed out again, even after the highest row is deleted.
        std::string insert = std::string("INSERT INTO ") + kind.table +
                             " (LogDate, ComputerName) VALUES ('2024-04-01 09:00:00', 'PC-101')";
        ASSERT_EQ(1, db.Execute(insert)) << db.GetLastErrorText();
        ASSERT_EQ(1, db.Execute(insert));
        ASSERT_EQ(1, db.Execute(std::string("DELETE FROM ") + kind.table + " WHERE LogID = 2"));
        ASSERT_EQ(1, db.Execute(insert));
        CADORecordset rs(&db);
        ASSERT_EQ(1, rs.Open(std::string("SELECT MAX(LogID) as LogID FROM ") + kind.table));
        std::int64_t maxLogId = 0;
        EXPECT_EQ(1, rs.GetFieldValue("LogID", maxLogId));
        EXPECT_EQ(3, maxLogId);
    }
    EXPECT_EQ((std::vector<Column>{{"DataRunning", "INT", false}}), embedded[kDataRunningTable]);
    const std::vector<Column>& install = embedded[kLogKinds[kInstallSoftwareKind].table];
    ASSERT_EQ(15u, install.size());
    EXPECT_EQ("DATETIME", install[10].type);
}

long Matches(const std::string& text, const char* pattern) {
    std::regex re(pattern);
    return std::distance(std::sregex_iterator(text.begin(), text.end(), re),
                         std::sregex_iterator());
}

TEST(Schema, ScriptIsWellFormedTransactSql) {
    std::string script = ReadFile(SOURCE_DIR "/Database/VeyrithSchema.sql");
    // Batches end with GO on a line of its own; parentheses balance in each.
    std::regex go("\nGO\n");
    std::sregex_token_iterator it(script.begin(), script.end(), go, -1), end;
    int batches = 0;
    for (; it != end; ++it) {
        std::string batch = *it;
        if (batch.find_first_not_of(" \n") == std::string::npos)
            continue;
        ++batches;
        int depth = 0;
        for (char c : batch) {
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            ASSERT_GE(depth, 0) << batch;
        }
        EXPECT_EQ(0, depth) << batch;
        EXPECT_EQ(std::string::npos, batch.find(",\n)")) << "trailing comma in\n" << batch;
    }
    EXPECT_EQ(23, batches);  // 20 tables, the ledger's 2 indexes and the procedure
    // Every log table has one identity column and a primary key on it.
    EXPECT_EQ(17, Matches(script, R"(\[LogID\] BIGINT IDENTITY\(1,1\) NOT NULL)"));
    // The procedure: an OUTPUT char(256), every BEGIN closed by an END.
    size_t procedure = script.find(
        "CREATE PROCEDURE [dbo].[prdUpdateVYLog]\n    @strReturn CHAR(256) OUTPUT\nAS\n");
    ASSERT_NE(std::string::npos, procedure);
    std::string body = script.substr(procedure);
    auto count = [&](const char* pattern) { return Matches(body, pattern); };
    EXPECT_EQ(count(R"(\bBEGIN\b(?! TRANSACTION))"), count(R"(\bEND\b)"));
    EXPECT_EQ(17, count(R"(MERGE \[dbo\]\.\[VY_LogHistory\])"));
    EXPECT_EQ(count(R"(\bMERGE\b)"),
              count(R"(VALUES \(s\.TableName, s\.LogCount, s\.MaxLogID, GETDATE\(\)\);)"));
}

}  // namespace
