// The product database's tables, defined once: the seventeen log tables,
// VY_AsDataRunning, the history table that prdUpdateVYLog keeps and the load
// ledger that makes a second load of the same file impossible. The
// embedded database's schema and the T-SQL script for a real server are both
// generated from this table.
#pragma once
#include <string>
#include <vector>

namespace Schema {

enum class ColumnType { Int, BigInt, DateTime, VarChar, NVarChar };

struct ColumnDef {
    const char* name;
    ColumnType type;
    int size;  // characters for VARCHAR/NVARCHAR, else 0
    bool notNull;
    const char* defaultValue;  // SQL literal, or null
    bool identity;             // the LogID column
};

struct TableDef {
    const char* name;
    std::vector<ColumnDef> columns;
    bool logTable;                     // one of the seventeen
    std::vector<const char*> indexes;  // columns with an index of their own
};

// Every table, the seventeen log tables first in log-kind order.
const std::vector<TableDef>& Tables();
const TableDef* FindTable(const std::string& name);  // letter case ignored

constexpr char kDataRunningTable[] = "VY_AsDataRunning";
constexpr char kHistoryTable[] = "VY_LogHistory";
constexpr char kLedgerTable[] = "VY_LoadLedger";
constexpr char kUpdateProcedure[] = "prdUpdateVYLog";
constexpr int kProcedureReturnSize = 256;

// The SQL Server type name of a column ("VARCHAR(64)", "DATETIME", ...).
std::string SqlTypeName(const ColumnDef& column);

// SQLite statements that create the schema; each leaves an existing table or
// index alone, so that a database made before the ledger gets it on opening.
std::vector<std::string> SqliteSchema();

}  // namespace Schema
