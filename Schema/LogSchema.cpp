#include "Schema/LogSchema.h"

#include <cctype>
#include <iterator>

#include "Schema/LogKind.h"

namespace Schema {

namespace {

using T = ColumnType;

// Columns every log table starts with.
std::vector<ColumnDef> Log(std::vector<ColumnDef> own) {
    std::vector<ColumnDef> columns = {
        {"LogID", T::BigInt, 0, true, nullptr, true},
        {"LogDate", T::DateTime, 0, true, nullptr, false},
        {"ComputerName", T::VarChar, 64, true, nullptr, false},
        {"UserName", T::VarChar, 64, false, nullptr, false},
    };
    columns.insert(columns.end(), own.begin(), own.end());
    return columns;
}

ColumnDef Text(const char* name, int size) {
    return {name, T::VarChar, size, false, nullptr, false};
}
ColumnDef WideText(const char* name, int size) {
    return {name, T::NVarChar, size, false, nullptr, false};
}
ColumnDef Int(const char* name, const char* defaultValue = nullptr) {
    return {name, T::Int, 0, false, defaultValue, false};
}
ColumnDef Big(const char* name) {
    return {name, T::BigInt, 0, false, nullptr, false};
}
ColumnDef Date(const char* name) {
    return {name, T::DateTime, 0, false, nullptr, false};
}

// Built on first use, so that static initialisers elsewhere may use it.
const std::vector<TableDef>& AllTables() {
    static const std::vector<TableDef> tables = [] {
        // The columns of each kind's table after the four that every log table
        // starts with, by kind index. The table names are those of kLogKinds.
        const std::vector<ColumnDef> own[] = {
            // 0 file operations
            {Text("DomainName", 64), Text("Operation", 16), Text("FileName", 260),
             Text("DestFileName", 260), Big("FileSize"), Int("DriveType", "0"),
             Text("ApplicationName", 260)},
            // 1 mail
            {Text("Sender", 256), Text("Recipients", 2000), WideText("Subject", 256),
             Text("AttachedFile", 260), Big("FileSize")},
            // 2 URLs
            {Text("Url", 2048), WideText("Title", 256), Text("BrowserName", 64)},
            // 3 printing
            {Text("PrinterName", 256), WideText("DocumentName", 256), Int("Pages"),
             Int("Copies", "1"), Text("ApplicationName", 260)},
            // 4 application starts
            {Text("ApplicationName", 260), Text("ApplicationPath", 260),
             WideText("WindowTitle", 256), Text("Operation", 16)},
            // 5 messenger
            {Text("MessengerName", 64), Text("Partner", 256), WideText("Message", 2000),
             Text("Direction", 8)},
            // 6 anti-virus
            {Text("ProductName", 128), Text("ProductVersion", 64), Text("PatternVersion", 64),
             Date("PatternDate"), Int("RealTimeScan", "0")},
            // 7 Windows Update
            {Int("AutoUpdate", "0"), Date("LastCheck"), Date("LastInstall")},
            // 8 Windows patches
            {Text("PatchID", 32), WideText("Title", 256), Date("InstalledOn")},
            // 9 shared folders
            {Text("ShareName", 128), Text("FolderPath", 260), Text("Permission", 64)},
            // 10 zone
            {WideText("ZoneName", 64), Text("SecurityLevel", 32), Int("ProtectedMode", "0")},
            // 11 network
            {WideText("AdapterName", 128), Text("MacAddress", 17), Text("IPAddress", 45),
             Text("SubnetMask", 45), Text("Gateway", 45), Int("DhcpEnabled", "0")},
            // 12 PC security
            {Int("ScreenSaver", "0"), Int("ScreenSaverPassword", "0"), Int("PasswordAge"),
             Int("FirewallEnabled", "0"), Int("GuestEnabled", "0")},
            // 13 hardware
            {Text("CpuName", 128), Int("MemoryMB"), Int("DiskGB"), Text("OSName", 128),
             Text("OSVersion", 64), Text("SerialNumber", 64)},
            // 14 installed software: fifteen columns in all, the install date eleventh
            {WideText("SoftwareName", 256), Text("SoftwareVersion", 64), WideText("Publisher", 256),
             Text("InstallLocation", 260), Text("ProductID", 64), Text("LanguageName", 32),
             Date("InstallDate"), Int("EstimatedSizeKB"), Text("UninstallString", 260),
             Text("Architecture", 8), Text("InstallSource", 64)},
            // 15 printers
            {Text("PrinterName", 256), Text("DriverName", 256), Text("PortName", 64),
             Int("IsDefault", "0"), Int("IsShared", "0")},
            // 16 logons
            {Text("DomainName", 64), Text("EventType", 16), Int("LogonType"),
             Text("SourceAddress", 45)},
        };
        static_assert(std::size(own) == static_cast<std::size_t>(kLogKindCount),
                      "one layout per log kind");
        std::vector<TableDef> all;
        for (const LogKindDef& kind : kLogKinds)
            all.push_back({kind.table, Log(own[kind.index]), true, {}});
        all.push_back(
            {kDataRunningTable, {{"DataRunning", T::Int, 0, false, nullptr, false}}, false, {}});
        all.push_back({kHistoryTable,
                       {{"TableName", T::VarChar, 64, true, nullptr, false},
                        {"LogCount", T::BigInt, 0, true, nullptr, false},
                        {"MaxLogID", T::BigInt, 0, false, nullptr, false},
                        {"UpdatedAt", T::DateTime, 0, true, nullptr, false}},
                       false,
                       {}});
        // One record per loaded file, written in the load's own transaction:
        // the file as it was loaded (name, size, SHA-256 of its content in
        // lower-case hex), its table, the rows the load added and the table's
        // highest LogID after it. Records older than 90 days are pruned.
        all.push_back({kLedgerTable,
                       {{"LedgerID", T::BigInt, 0, true, nullptr, true},
                        {"FileName", T::VarChar, 260, true, nullptr, false},
                        {"FileSize", T::BigInt, 0, true, nullptr, false},
                        {"ContentHash", T::VarChar, 64, true, nullptr, false},
                        {"TableName", T::VarChar, 64, true, nullptr, false},
                        {"LoadedRows", T::BigInt, 0, false, nullptr, false},
                        {"MaxLogID", T::BigInt, 0, true, nullptr, false},
                        {"LoadedAt", T::DateTime, 0, true, nullptr, false}},
                       false,
                       {"FileName", "LoadedAt"}});
        return all;
    }();
    return tables;
}

// ASCII letters only, as the names are.
bool EqualIgnoringCase(const char* a, const std::string& b) {
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return !a[i] && i == b.size();
}

}  // namespace

const std::vector<TableDef>& Tables() {
    return AllTables();
}

const TableDef* FindTable(const std::string& name) {
    for (const TableDef& t : Tables())
        if (EqualIgnoringCase(t.name, name))
            return &t;
    return nullptr;
}

std::string SqlTypeName(const ColumnDef& column) {
    switch (column.type) {
        case T::Int:
            return "INT";
        case T::BigInt:
            return "BIGINT";
        case T::DateTime:
            return "DATETIME";
        case T::VarChar:
            return "VARCHAR(" + std::to_string(column.size) + ")";
        case T::NVarChar:
            return "NVARCHAR(" + std::to_string(column.size) + ")";
    }
    return "";
}

std::vector<std::string> SqliteSchema() {
    std::vector<std::string> statements;
    for (const TableDef& table : Tables()) {
        std::string sql = std::string("CREATE TABLE IF NOT EXISTS ") + table.name + " (";
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const ColumnDef& c = table.columns[i];
            sql += i ? ", " : "";
            sql += c.name;
            if (c.identity) {
                // AUTOINCREMENT never hands out a value again, even after deletes.
                sql += " INTEGER PRIMARY KEY AUTOINCREMENT";
                continue;
            }
            sql += " " + SqlTypeName(c);
            if (c.notNull)
                sql += " NOT NULL";
            if (c.defaultValue)
                sql += std::string(" DEFAULT ") + c.defaultValue;
        }
        if (table.name == std::string(kHistoryTable))
            sql += ", PRIMARY KEY (TableName)";
        statements.push_back(sql + ")");
        for (const char* column : table.indexes)
            statements.push_back(std::string("CREATE INDEX IF NOT EXISTS IX_") + table.name + "_" +
                                 column + " ON " + table.name + " (" + column + ")");
    }
    return statements;
}

}  // namespace Schema
