// Writes the T-SQL script for a real server from the one table definition.
//   gen-schema > Database/VeyrithSchema.sql
#include <cstdio>

#include "tools/TransactSqlSchema.h"

int main() {
    std::fputs(TransactSqlSchema().c_str(), stdout);
    return 0;
}
