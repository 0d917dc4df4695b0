#include "tools/EventGuide.h"

#include <cstdint>
#include <cstdlib>

#include "Server/Ferrowin/MessageCatalogue.h"

const char kEventGuideBegin[] =
    "<!-- BEGIN EVENTS: written by gen-event-guide from the message catalogue; do not edit -->";
const char kEventGuideEnd[] = "<!-- END EVENTS -->";

namespace {

// What the guide says about one event, beside the catalogue's identifier and
// text: the text in English, what follows it, when it is sent, what to do.
struct Advice {
    const char* english;
    const char* followedBy;
    const char* when;
    const char* action;
};

const char kSystemText[] = "the system's error text";
const char kConnectionText[] = "the connection's last error text (at most 512 characters)";
const char kCommandText[] = "the command's last error text (at most 512 characters)";

// The switch has no default, so a new event that has no advice here does not
// compile (-Wswitch under -Werror).
Advice AdviceFor(EventMessage message) {
    switch (message) {
        case EventMessage::ProcedureReturnedError:
            return {"An error occurred while running [prdUpdateVYLog]:",
                    "the message that the procedure returned in \"strReturn\"",
                    "After a run that imported at least one file, the stored procedure "
                    "\"prdUpdateVYLog\" returned a message. The files' rows are in their tables; "
                    "only the history of the log tables was not refreshed.",
                    "Read the procedure's message. On SQL Server, check that the procedure of "
                    "`VeyrithSchema.sql` is installed and that the login may execute it. The "
                    "procedure runs again after the next run that imports a file."};
        case EventMessage::ConfigurationException:
            return {"Access to the database failed.", kSystemText,
                    "Something failed unexpectedly while the settings were read or the "
                    "connection was opened. Nothing was imported in this run.",
                    "Run `ferrowin` by hand over the input folder and look at the other events "
                    "of the same run; check the registry file and the settings files."};
        case EventMessage::CloseException:
            return {"Access to the database failed.", kConnectionText,
                    "Closing the database connection at the end of a run failed. The imports of "
                    "the run are already committed.",
                    "Nothing to recover. If it repeats, look at the database server's log."};
        case EventMessage::ProcedureExecuteException:
            return {"Access to the database failed.", kCommandText,
                    "Executing \"prdUpdateVYLog\" after the imports failed with an exception "
                    "(often its time limit, \"SQL_SP_TIMEOUT\"). The rows are imported; the "
                    "history of the log tables was not refreshed.",
                    "Read the appended text. Raise \"SQL_SP_TIMEOUT\" when the procedure needs "
                    "longer on a large database."};
        case EventMessage::ProcedurePrepareException:
            return {"Access to the database failed.", kSystemText,
                    "Preparing the command or its parameter for \"prdUpdateVYLog\" failed. The "
                    "rows are imported; the history was not refreshed.",
                    "Usually the connection was lost at that moment; the next run that imports "
                    "a file runs the procedure again."};
        case EventMessage::BulkLoadException:
            return {"Access to the database failed.", kConnectionText,
                    "The bulk load of one file failed with an exception. The file goes to the "
                    "error folder (a \"-2147472426\" notice with its path comes with it).",
                    "Read the appended text, fix the cause, and put the file back into the "
                    "input folder (see \"Recovering a file\")."};
        case EventMessage::ImportFailed:
            return {"Importing the log file [path] failed.",
                    "the connection's error text when the load statement failed; nothing when "
                    "the statement succeeded but added no row",
                    "No row of the file reached its table: the file is empty, every record was "
                    "rejected, or the statement failed (more faulty records than "
                    "\"LOG_WRITEMAXERROR\", a table missing, a path the database server cannot "
                    "read). The file goes to the error folder. With \" (the path is longer than "
                    "the system allows)\" appended, the file was not loaded: its full path is "
                    "longer than 4095 bytes (259 on Windows). It stays where it is, and each run "
                    "reports it once.",
                    "Read the appended database text. A path that is too long: move the file to "
                    "a folder with a shorter path, or give it a shorter name. An empty file can "
                    "be deleted. For faulty "
                    "records, the text names the row and column; repair or drop them and put "
                    "the file back into the input folder. On SQL Server, the server reads the "
                    "file itself: the input folder must be readable by the server at the same "
                    "path."};
        case EventMessage::ProcedureFailed:
            return {"Access to the database failed.", kCommandText,
                    "Executing \"prdUpdateVYLog\" returned failure. The rows are imported; the "
                    "history was not refreshed.",
                    "Read the appended text; check that the procedure exists and that the login "
                    "may execute it."};
        case EventMessage::DsnNameUnreadable:
            return {"Reading the registry information failed.", kSystemText,
                    "The value \"DSNName\" of [HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold] "
                    "is missing or unreadable. The connection is still attempted with an empty "
                    "connection string and fails (\"010201\").",
                    "Add \"DSNName\" to the registry file."};
        case EventMessage::DbUserIdUnreadable:
            return {"Reading the registry information failed.", kSystemText,
                    "The value \"DBUserID\" is missing or unreadable; an empty user is used.",
                    "Add \"DBUserID\" (it may be \"\") to the registry file."};
        case EventMessage::DbPasswordUnreadable:
            return {"Reading the registry information failed.", kSystemText,
                    "The value \"DBPWD\" is missing or unreadable; an empty password is used.",
                    "Add \"DBPWD\" (it may be \"\") to the registry file."};
        case EventMessage::InstallPathUnreadable:
            return {"Reading the registry information failed.", kSystemText,
                    "The key [HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager] exists "
                    "but has no readable \"InstallPath\". The program's own folder is used for "
                    "the settings instead. Sent once per run and once for every file.",
                    "Add \"InstallPath\" (the folder that holds `Setting/` and the library, "
                    "ending in `/`) to the registry file."};
        case EventMessage::ProductKeyUnopenable:
            return {"Reading the registry information failed.", kSystemText,
                    "The key [HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold] is missing, or the "
                    "registry file cannot be read. Nothing is imported.",
                    "Check that the registry file exists at `$KESTRAFOLD_REGISTRY` (default "
                    "`/etc/kestrafold/registry.reg`) and holds the key."};
        case EventMessage::UntrustedSettings:
            return {"The settings file [path] can be changed by other users, so it is not read.",
                    "why, in parentheses: the file or folder, and its owner or mode",
                    "A settings file (`Setting/KFSettings.ini` or `Setting/2/*.ini`), or a "
                    "folder above it, is owned by a user other than root and the importer's, "
                    "or is writable by its group or by others. The run imports nothing and "
                    "says the same on standard error.",
                    "Give the file and every folder above it to root and take away the group's "
                    "and others' write bit: `chown root:root FILE; chmod 644 FILE` (see \"Trust "
                    "and hostile input\")."};
        case EventMessage::BookkeepingOpenFailed:
            return {"Access to the database failed.", "the query's last error text",
                    "A bookkeeping query failed: the highest \"LogID\" of a log table, or "
                    "reading, claiming or releasing the row of \"VY_AsDataRunning\".",
                    "Check that the log tables and \"VY_AsDataRunning\" exist (on SQL Server: "
                    "run `VeyrithSchema.sql`) and that the login may read and update them."};
        case EventMessage::BookkeepingException:
            return {"Access to the database failed.", kSystemText,
                    "One of those bookkeeping queries failed with an exception.",
                    "As for \"010121\"; look at the database text of the events around it."};
        case EventMessage::ConnectFailed:
            return {"Connecting to the database failed.", kConnectionText,
                    "The database connection did not open. Nothing is imported; every file "
                    "stays in the input folder for the next run.",
                    "Read the appended text: the data source, the driver, the server, the "
                    "login. Test the same connection with `isql` (see \"SQL Server on Linux or "
                    "Windows, through ODBC\")."};
        case EventMessage::FileAccessFailed:
            return {"Accessing the file [path] failed.", kSystemText,
                    "Something failed unexpectedly around the import of one file (its "
                    "preparation, reading it for the load ledger, or the reading of the folder "
                    "settings). The file stays where it is and is tried again by the next run.",
                    "Check the file's permissions and the settings files. If the rows had "
                    "already arrived, the load ledger keeps the next run from loading them "
                    "again; without the ledger table they are loaded a second time."};
        case EventMessage::FileDeleteFailed:
            return {"Deleting the file [path] failed.", kSystemText,
                    "The file was imported and no backup folder is configured, but deleting it "
                    "failed. It stays in the input folder; the next run finds it in the load "
                    "ledger and deletes it without loading it again (without the ledger table "
                    "it is loaded again).",
                    "Fix the permissions of the input folder, or configure a backup folder. "
                    "Without the ledger table, delete the file by hand so that its rows are "
                    "not loaded twice."};
        case EventMessage::FileMoveFailed:
            return {"Moving the file [path] failed.", kSystemText,
                    "Moving a file that failed to import to the error folder failed "
                    "unexpectedly.",
                    "Look for the file in the input folder and move it to the error folder "
                    "by hand."};
        case EventMessage::BackupMoveFailed:
            return {
                "The log file [path] could not be moved to the backup folder [folder]. "
                "Check that the backup folder exists.",
                kSystemText,
                "The file was imported but could not be moved to the backup folder. It is "
                "renamed in place to `<name>.csv.err`, so that it is not loaded again (a name "
                "too long for that is shortened, with `~` and eight hexadecimal digits before "
                "`.csv.err`).",
                "Create the backup folder (or fix its permissions), then move the "
                "`.err` file there by hand and drop the suffix. Do not put it back into "
                "the input folder: its rows are already in the database."};
        case EventMessage::ErrorMoveFailed:
            return {
                "The log file [path] could not be moved to the error folder [folder]. "
                "Check that the error folder exists.",
                kSystemText,
                "The file failed to import and could not be moved to the error folder. It "
                "is renamed in place to `<name>.csv.err`.",
                "Create the error folder (or fix its permissions). The `.err` file is a "
                "failed file: repair it and put it back (see \"Recovering a file\")."};
        case EventMessage::BackupRenameFailed:
            return {"Renaming the log file [path] failed. Copy [path] to the backup folder.",
                    kSystemText,
                    "After \"050603\", renaming the imported file to `.err` failed too. The file "
                    "is still in the input folder under its own name. The next run finds it "
                    "in the load ledger and only moves it; without the ledger table it is "
                    "loaded a second time.",
                    "Fix the backup folder and the input folder's permissions. Without the "
                    "ledger table, move the file to the backup folder by hand at once."};
        case EventMessage::ErrorRenameFailed:
            return {"Renaming the log file [path] failed. Copy [path] to the error folder.",
                    kSystemText,
                    "After \"050603\", renaming the failed file to `.err` failed too. The file "
                    "stays in the input folder and is tried again by the next run.",
                    "Move the file to the error folder by hand, then fix the error folder and "
                    "the input folder's permissions."};
        case EventMessage::UntrustedFolder:
            return {
                "The log file [path] is not moved. Other users can change the folder "
                "[folder].",
                "why, in parentheses: the folder, and its owner or mode",
                "The backup or error folder is a symbolic link, or it (or a folder above "
                "it) is owned by another user or writable by its group or others. The file "
                "goes nowhere: it stays in the input folder for a later run, and no folder "
                "is made.",
                "Make the folder a real folder of root's with mode 0755 or stricter, and "
                "every folder above it too: `chown root:root DIR; chmod 755 DIR`."};
        case EventMessage::ImportFailureNotice:
            return {"Writing the Veyrith log to the database failed. [time],[path]", "nothing",
                    "Sent for every file that failed to import, before it is moved. The time "
                    "is the local time as `YYYY/MM/DD hh:mm:ssmmm` (milliseconds directly after "
                    "the seconds). Another event of the same file says why.",
                    "See the event sent with it (\"010108\" or \"010109\"), and \"Recovering a "
                    "file\"."};
    }
    return {"", "", "", ""};
}

}  // namespace

unsigned long EventNumber(const char* id) {
    return static_cast<std::uint32_t>(std::atol(id));
}

std::string EventGuideSection() {
    std::string out = kEventGuideBegin;
    out += "\n";
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& entry = kCatalogue[i];
        Advice advice = AdviceFor(entry.message);
        unsigned long number = EventNumber(entry.id);
        out += "\n#### \"" + std::string(entry.id) + "\": " + advice.english + "\n\n";
        out +=
            "- Text: \"" + std::string(entry.text) + "\", followed by " + advice.followedBy + ".\n";
        out += "- Number: " + std::to_string(number) + " in the journal and the event file";
        if ((number & 0xFFFFu) != number)
            out += "; the Windows event viewer shows " + std::to_string(number & 0xFFFFu);
        out += ".\n";
        out += "- When: " + std::string(advice.when) + "\n";
        out += "- What to do: " + std::string(advice.action) + "\n";
    }
    out += "\n";
    out += kEventGuideEnd;
    out += "\n";
    return out;
}

bool ReplaceEventGuideSection(const std::string& document, const std::string& section,
                              std::string* out) {
    std::size_t begin = document.find(kEventGuideBegin);
    if (begin == std::string::npos)
        return false;
    std::size_t end = document.find(kEventGuideEnd, begin);
    if (end == std::string::npos)
        return false;
    end += sizeof kEventGuideEnd - 1;
    if (end < document.size() && document[end] == '\n')
        ++end;
    *out = document.substr(0, begin) + section + document.substr(end);
    return true;
}
