// Loads one FileLogFile into a fresh embedded database and prints
// "<seconds> <peak RSS in KiB> <rows>".
//   bulk-load-bench ours <db> <file> [maxErrors]
//                        through CADODatabase::Execute (BULK INSERT); a failed
//                        statement prints -1 rows and its text on stderr
//   bulk-load-bench baseline <db> <file>
//                        a bare loop: one transaction, a prepared INSERT, fields
//                        split at 0xFE and CR LF, with the provider's pragmas
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "Schema/LogSchema.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADORecordset.h"

namespace {

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Ours(const std::string& db, const std::string& file, long maxErrors, double* seconds,
         long* rows) {
    CADODatabase database;
    if (!database.Open("Provider=Embedded;Data Source=" + db)) {
        std::fprintf(stderr, "%s\n", database.GetLastErrorText().c_str());
        return 1;
    }
    database.GetConnection()->SetCommandTimeout(3600);
    auto start = std::chrono::steady_clock::now();
    int ok = database.Execute("BULK INSERT VY_FileOptLog FROM '" + file +
                              "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS "
                              "= " +
                              std::to_string(maxErrors) + " )");
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::string text = database.GetLastErrorText();
        std::fprintf(stderr, "%s\n", text.substr(0, text.find('\n')).c_str());
        *rows = -1;
        return 0;
    }
    *rows = database.GetRecordsAffected();
    return 0;
}

int Baseline(const std::string& path, const std::string& file, double* seconds, long* rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return 1;
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
    for (const std::string& sql : Schema::SqliteSchema())
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    const size_t kColumns = 11;
    auto start = std::chrono::steady_clock::now();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO VY_FileOptLog (LogDate, ComputerName, UserName, DomainName, "
                       "Operation, FileName, DestFileName, FileSize, DriveType, ApplicationName) "
                       "VALUES (?,?,?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in)
        return 1;
    std::vector<char> chunk(1 << 20);
    std::string pending;
    long count = 0;
    size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        pending.append(chunk.data(), got);
        size_t begin = 0;
        for (;;) {
            const char* base = pending.data();
            const char* end =
                static_cast<const char*>(memmem(base + begin, pending.size() - begin, "\r\n", 2));
            if (!end)
                break;
            const char* p = base + begin;
            for (size_t field = 0; field < kColumns; ++field) {
                const char* stop =
                    field + 1 < kColumns
                        ? static_cast<const char*>(memchr(p, '\xFE', static_cast<size_t>(end - p)))
                        : end;
                if (!stop)
                    stop = end;
                if (field > 0)
                    sqlite3_bind_text(insert, static_cast<int>(field), p,
                                      static_cast<int>(stop - p), SQLITE_STATIC);
                p = stop < end ? stop + 1 : end;
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
            ++count;
            begin = static_cast<size_t>(end - base) + 2;
        }
        pending.erase(0, begin);
    }
    std::fclose(in);
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *rows = count;
    sqlite3_close(db);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: bulk-load-bench ours|baseline <db> <file> [maxErrors]\n");
        return 2;
    }
    std::string mode = argv[1];
    double seconds = 0;
    long rows = 0;
    long maxErrors = argc == 5 ? std::atol(argv[4]) : 10;
    int rc = mode == "ours" ? Ours(argv[2], argv[3], maxErrors, &seconds, &rows)
                            : Baseline(argv[2], argv[3], &seconds, &rows);
    if (rc == 0)
        std::printf("%.3f %ld %ld\n", seconds, PeakRssKiB(), rows);
    return rc;
}
