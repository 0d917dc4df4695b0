// The embedded loader over any file bytes: the first byte picks the table
// and the maximum error count, the rest is the data file. The statement
// succeeds or fails with a ComError; nothing else leaves the provider, and
// a failed statement leaves the table as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "Schema/LogKind.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"

namespace {

std::string Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/ferrowin-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

CADODatabase& Database() {
    static CADODatabase* db = [] {
        auto* opened = new CADODatabase;
        if (!opened->Open("Provider=Embedded;Data Source=" + Folder() + "/fuzz.db"))
            std::abort();
        return opened;
    }();
    return *db;
}

std::int64_t CountRows(const char* table) {
    CADORecordset recordset(&Database());
    if (!recordset.Open(std::string("SELECT COUNT(*) as n FROM ") + table))
        std::abort();
    std::int64_t n = -1;
    recordset.GetFieldValue("n", n);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const char* table = LogKindTable(static_cast<LogKind>(data[0] % kLogKindCount));
    int maxErrors = (data[0] >> 5) * 3;
    std::string path = Folder() + "/data.csv";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    std::int64_t before = CountRows(table);
    Database().GetConnection()->SetCommandTimeout(5);
    bool ok = Database().Execute(std::string("BULK INSERT ") + table + " FROM '" + path +
                                 "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',"
                                 "MAXERRORS = " +
                                 std::to_string(maxErrors) + " )");
    if (!ok && CountRows(table) != before)
        std::abort();  // a failed statement committed rows
    // Keep the database small: rows of one input say nothing about the next.
    if (CountRows(table) > 10000)
        Database().Execute(std::string("DELETE FROM ") + table);
    return 0;
}
