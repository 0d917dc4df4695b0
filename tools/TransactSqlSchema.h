// The T-SQL script for a real server, written from the one table definition
// (Schema/LogSchema.h): the tables and prdUpdateVYLog. tools/gen-schema
// prints it into Database/.
#pragma once
#include <string>

std::string TransactSqlSchema();

// The T-SQL script that adds the load ledger to an existing product database.
std::string LedgerTransactSql();
