// The run's configuration from the registry and the product's settings
// files, the default error folder, and the one database connection.
#include <vector>

#include "Brennick/Helpers.h"
#include "Brennick/Ini.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"
#include "Server/Ferrowin/LogCollectClaim.h"
#include "Server/Ferrowin/RegistryKey.h"

namespace {

constexpr std::int32_t kDefaultWriteMaxError = 10;
constexpr std::int32_t kDefaultSqlSpTimeout = 3600;

// A string value read into a buffer of the settings' size; "" and false
// when it cannot be read.
bool QueryText(CRegistryKey& key, const char* name, std::string* value) {
    std::string buffer(kSettingBufferSize, '\0');
    if (key.QueryValue(buffer.data(), name, kSettingBufferSize, Platform::kRegSz) != 0) {
        value->clear();
        return false;
    }
    *value = buffer.c_str();
    return true;
}

// A 4-byte value into `member`, or `fallback` when it cannot be read.
void QueryNumber(CRegistryKey& key, const char* name, std::int32_t* member, std::int32_t fallback) {
    std::uint32_t value = static_cast<std::uint32_t>(*member);
    *member = key.QueryDword(&value, name) == 0 ? static_cast<std::int32_t>(value) : fallback;
}

}  // namespace

int CLogCollect::Initialize() {
    try {
        if (m_db.IsOpen())
            return 1;

        CRegistryKey key(m_platform.registry);
        std::string installFolder;
        if (key.Open(Platform::kHKeyLocalMachine, kDbManagerKey, Platform::kKeyAllAccess) != 0) {
            m_nWriteMaxError = kDefaultWriteMaxError;
            m_nSqlSpTimeout = kDefaultSqlSpTimeout;
        } else {
            QueryNumber(key, "LOG_WRITEMAXERROR", &m_nWriteMaxError, kDefaultWriteMaxError);
            QueryNumber(key, "SQL_SP_TIMEOUT", &m_nSqlSpTimeout, kDefaultSqlSpTimeout);
            if (!QueryText(key, "InstallPath", &installFolder))
                ReportLogEventWithSystemError(EventMessage::InstallPathUnreadable,
                                              EventText(EventMessage::InstallPathUnreadable));
        }

        // The product settings: the first "Setting\2\*.ini" that names the
        // first log kind's key.
        if (installFolder.empty())
            installFolder = GetModuleDirectory(m_platform.system);
        const char sep = Platform::PathSeparator();
        std::string settingsFolder = WithSeparator(installFolder) + "Setting" + sep + "2" + sep;
        // Settings decide where files go and which folders are made: when
        // another user could change one of them, nothing is imported.
        if (!SettingsFileTrusted(
                m_platform, m_events,
                WithSeparator(installFolder) + "Setting" + sep + "KFSettings.ini") ||
            !SettingsFileTrusted(m_platform, m_events, settingsFolder))
            return 0;
        std::vector<Platform::FileEntry> entries;
        m_platform.files.ListFiles(settingsFolder, "*.ini", true, &entries);
        for (const Platform::FileEntry& entry : entries) {
            if (!SettingsFileTrusted(m_platform, m_events, settingsFolder + entry.name))
                return 0;
            CIni ini(m_platform.profile, (settingsFolder + entry.name).c_str());
            if (ini.ReadString("LOG_TYPES", "LOG_TYPE1").empty())
                continue;
            for (int n = 1; n <= kLogKindCount; ++n) {
                std::string& key = m_strLogFileKey[static_cast<std::size_t>(n - 1)];
                std::string value =
                    ini.ReadString("LOG_TYPES", ("LOG_TYPE" + std::to_string(n)).c_str());
                if (!value.empty())
                    key = value;
                key = LowerAscii(key);
            }
            m_strErrorFolder = ini.ReadString("PRODUCT_INFO", "PRODUCT_INSTALLPATH");
            m_strErrorFolder = m_platform.system.ExpandEnvironment(m_strErrorFolder);
            if (m_strErrorFolder.empty() || m_strErrorFolder.back() == sep)
                m_strErrorFolder += std::string("LogError") + sep;
            else
                m_strErrorFolder += std::string(1, sep) + "LogError" + sep;
            // Never made below a folder that another user controls.
            std::string reason;
            if (FolderTrusted(m_platform, m_strErrorFolder, &reason))
                CreateFolderPath(m_strErrorFolder.c_str());
            break;
        }

        if (key.Open(Platform::kHKeyLocalMachine, kProductKey, Platform::kKeyAllAccess) != 0) {
            ReportLogEventWithSystemError(EventMessage::ProductKeyUnopenable,
                                          EventText(EventMessage::ProductKeyUnopenable));
            return 0;
        }
        struct {
            const char* name;
            EventMessage unreadable;
            std::string value;
        } connection[] = {
            {"DSNName", EventMessage::DsnNameUnreadable, ""},
            {"DBUserID", EventMessage::DbUserIdUnreadable, ""},
            {"DBPWD", EventMessage::DbPasswordUnreadable, ""},
        };
        for (auto& setting : connection)
            if (!QueryText(key, setting.name, &setting.value))
                ReportLogEventWithSystemError(setting.unreadable, EventText(setting.unreadable));

        if (m_db.Open(connection[0].value, connection[1].value, connection[2].value))
            return 1;
        ReportLogEvent(EventMessage::ConnectFailed,
                       EventText(EventMessage::ConnectFailed) + m_db.GetLastErrorText());
        return 0;
    } catch (...) {
        ReportLogEventWithSystemError(EventMessage::ConfigurationException,
                                      EventText(EventMessage::ConfigurationException));
        try {
            return m_db.IsOpen();
        } catch (...) {
            return 0;
        }
    }
}

void CLogCollect::Close() {
    try {
        m_db.Close();
    } catch (...) {
        ReportLogEvent(EventMessage::CloseException,
                       EventText(EventMessage::CloseException) + m_db.GetLastErrorText());
    }
}

void CLogCollect::CreateFolderPath(const char* path) {
    if (!path)
        return;
    Platform::IFileSystem& files = m_platform.files;
    const char sep = Platform::PathSeparator();
    std::string folder = WithSeparator(path);
    size_t at = folder.find(sep);
    if (folder.find(':') != std::string::npos && at != std::string::npos)
        at = folder.find(sep, at + 1);  // never create a drive root such as "C:\"
    while (at != std::string::npos) {
        std::string level = folder.substr(0, at + 1);
        Platform::Status status = files.CreateFolder(level);
        if (status != Platform::kSuccess && status != Platform::kAlreadyExists) {
            // A level that can be neither made nor found ends the walk; one
            // that exists but refuses creation (a share's root) is passed.
            std::uint32_t attributes = 0;
            if (files.GetAttributes(level, &attributes) != Platform::kSuccess ||
                !(attributes & Platform::kAttributeDirectory))
                return;
        }
        at = folder.find(sep, at + 1);
    }
}
