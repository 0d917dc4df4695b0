// The baselines that the importer's own runs are measured against, and the
// pieces of its runs that are timed alone. Each mode prints its seconds.
//   importer-bench files <folder> <n>      writes n ten-row FileLogFiles (not timed)
//   importer-bench commits <db> <file> <n> n durable commits of the file's rows,
//                                          one transaction each, with the
//                                          embedded database's pragmas
//   importer-bench rewrite <file>          the install-software rewrite, as the
//                                          importer does it before a load
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/Platform.h"
#include "Schema/LogSchema.h"
#include "Server/Ferrowin/LogCollect.h"
#include "tools/LogGenerator.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadAll(const std::string& path) {
    std::string content;
    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) content.append(chunk, got);
        std::fclose(in);
    }
    return content;
}

int Files(const std::string& folder, int n) {
    for (int i = 0; i < n; ++i) {
        Sample::CLogGenerator generator(static_cast<std::uint32_t>(i + 1));
        char name[64];
        std::snprintf(name, sizeof name, "/FileLogFile_PC-%05d.csv", i);
        if (!generator.WriteFile(folder + name, 0, 10))
            return 1;
    }
    return 0;
}

// The rows of a FileLogFile, split at 0xFE and CR LF.
std::vector<std::vector<std::string>> Rows(const std::string& content) {
    std::vector<std::vector<std::string>> rows;
    for (size_t start = 0; start < content.size();) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos)
            end = content.size();
        std::vector<std::string> fields;
        for (size_t at = start;;) {
            size_t next = content.find('\xFE', at);
            if (next == std::string::npos || next > end) {
                fields.push_back(content.substr(at, end - at));
                break;
            }
            fields.push_back(content.substr(at, next - at));
            at = next + 1;
        }
        rows.push_back(fields);
        start = end + 2;
    }
    return rows;
}

int Commits(const std::string& path, const std::string& file, int n) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return 1;
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
    for (const std::string& sql : Schema::SqliteSchema())
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    std::vector<std::vector<std::string>> rows = Rows(ReadAll(file));
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO VY_FileOptLog (LogDate, ComputerName, UserName, DomainName, "
                       "Operation, FileName, DestFileName, FileSize, DriveType, ApplicationName) "
                       "VALUES (?,?,?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (const auto& fields : rows) {
            for (size_t f = 1; f < fields.size() && f <= 10; ++f)
                sqlite3_bind_text(insert, static_cast<int>(f), fields[f].data(),
                                  static_cast<int>(fields[f].size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return 1;
    }
    std::printf("%.3f\n", Since(start));
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return 0;
}

int Rewrite(const std::string& file) {
    Platform::CPlatform& platform = Platform::DefaultPlatform();
    CEventBinding events(platform);
    CLogCollect collect(platform, events);
    auto start = std::chrono::steady_clock::now();
    collect.PrepareInstallSoftwareLog(file.c_str());
    std::printf("%.3f\n", Since(start));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "files" && argc == 4)
        return Files(argv[2], std::atoi(argv[3]));
    if (mode == "commits" && argc == 5)
        return Commits(argv[2], argv[3], std::atoi(argv[4]));
    if (mode == "rewrite" && argc == 3)
        return Rewrite(argv[2]);
    std::fprintf(stderr,
                 "usage: importer-bench files <folder> <n> | commits <db> <file> <n> | "
                 "rewrite <file>\n");
    return 2;
}
