// The BULK INSERT statement parser on any text: it either parses or refuses
// with a ComError, and a parsed statement names a table and a path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Platform/Ado/Ado.h"
#include "Platform/Ado/Embedded/BulkInsert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string sql(reinterpret_cast<const char*>(data), size);
    Ado::Embedded::IsBulkInsert(sql);
    try {
        Ado::Embedded::BulkInsertStatement statement = Ado::Embedded::ParseBulkInsert(sql);
        if (statement.table.empty() || statement.fieldTerminator.empty() ||
            statement.rowTerminator.empty())
            std::abort();
    } catch (const Ado::ComError&) {
    }
    return 0;
}
