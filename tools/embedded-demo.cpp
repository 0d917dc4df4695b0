// Loads every *.csv of a folder into the embedded database the way the
// importer does it (high-water mark, BULK INSERT, high-water mark), reports
// failed loads as events, runs prdUpdateVYLog and prints what happened.
//   embedded-demo <folder> <database file>
#include <cstdio>
#include <string>
#include <vector>

#include "Platform/Platform.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/MessageCatalogue.h"
#include "Server/Ferrowin/database/ADOCommand.h"
#include "Server/Ferrowin/database/ADODatabase.h"
#include "Server/Ferrowin/database/ADOParameter.h"
#include "Server/Ferrowin/database/ADORecordset.h"
#include "tools/LogGenerator.h"

namespace {

std::int64_t MaxLogId(CADODatabase& db, const std::string& table) {
    CADORecordset rs(&db);
    std::int64_t value = -1;
    if (rs.Open("SELECT MAX(LogID) as LogID FROM " + table) && rs.GetRecordCount() != 0)
        rs.GetFieldValue("LogID", value);
    return value;
}

int KindOf(const std::string& name) {
    for (int kind = 0; kind < kLogKindCount; ++kind) {
        std::string prefix = Sample::KindPrefix(kind);
        if (name.compare(0, prefix.size(), prefix) == 0)
            return kind;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: embedded-demo <folder> <database file>\n");
        return 2;
    }
    std::string folder = argv[1];
    CADODatabase db;
    if (!db.Open(std::string("Provider=Embedded;Data Source=") + argv[2])) {
        ReportLogEvent(EventId(EventMessage::ConnectFailed),
                       (EventText(EventMessage::ConnectFailed) + db.GetLastErrorText()).c_str());
        std::fprintf(stderr, "%s\n", db.GetLastErrorText().c_str());
        return 1;
    }
    std::vector<Platform::FileEntry> entries;
    Platform::DefaultPlatform().files.ListFiles(folder, "*.csv", false, &entries);
    int imported = 0;
    for (const Platform::FileEntry& entry : entries) {
        int kind = KindOf(entry.name);
        if (kind < 0)
            continue;
        std::string path = folder + "/" + entry.name;
        std::string table = Sample::KindTable(kind);
        std::int64_t before = MaxLogId(db, table);
        db.GetConnection()->SetCommandTimeout(3600);
        int ok =
            db.Execute("BULK INSERT " + table + " FROM '" + path +
                       "' WITH ( FIELDTERMINATOR = '0xfe', ROWTERMINATOR = '\\n',MAXERRORS = 10 )");
        std::int64_t after = MaxLogId(db, table);
        bool loaded = after - before > 0;
        std::printf("%-44s %-22s %s (LogID %lld -> %lld)\n", entry.name.c_str(), table.c_str(),
                    loaded ? "imported" : "FAILED", static_cast<long long>(before),
                    static_cast<long long>(after));
        if (loaded) {
            ++imported;
            continue;
        }
        std::string text = FormatEventText(EventMessage::ImportFailed, {path});
        if (!ok)
            text += db.GetLastErrorText();
        ReportLogEvent(EventId(EventMessage::ImportFailed), text.c_str());
    }
    if (imported > 0) {
        CADOCommand command(&db, "prdUpdateVYLog", Ado::adCmdStoredProc);
        CADOParameter parameter(Ado::adChar, 256, Ado::adParamOutput, "strReturn");
        command.AddParameter(&parameter);
        std::string message;
        if (command.Execute() && parameter.GetValue(message))
            std::printf("prdUpdateVYLog: %s\n", message.find_first_not_of(' ') == std::string::npos
                                                    ? "done"
                                                    : message.c_str());
        CADORecordset rs(&db);
        if (rs.Open("SELECT TableName, LogCount FROM VY_LogHistory WHERE LogCount > 0")) {
            std::printf("history: %ld tables with rows\n", rs.GetRecordCount());
        }
    }
    db.Close();
    UnloadEventLibrary();
    std::printf("%d of %zu files imported\n", imported, entries.size());
    return 0;
}
