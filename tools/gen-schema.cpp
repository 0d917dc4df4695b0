// Writes the T-SQL script for a real server from the one table definition.
//   gen-schema > Database/VeyrithSchema.sql
#include <cstdio>

#include "Platform/Ado/Embedded/LogSchema.h"

int main() {
    std::fputs(Ado::Embedded::TransactSqlSchema().c_str(), stdout);
    return 0;
}
