// Writes the T-SQL script for a real server from the one table definition.
//   gen-schema > Database/VeyrithSchema.sql
//   gen-schema --ledger > Database/VeyrithLoadLedger.sql
#include <cstdio>
#include <cstring>

#include "tools/TransactSqlSchema.h"

int main(int argc, char** argv) {
    bool ledger = argc > 1 && std::strcmp(argv[1], "--ledger") == 0;
    std::fputs(ledger ? LedgerTransactSql().c_str() : TransactSqlSchema().c_str(), stdout);
    return 0;
}
