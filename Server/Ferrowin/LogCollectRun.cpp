// The collector's life and its run over one directory.
#include <vector>

#include "Brennick/Helpers.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/LogCollect.h"

CLogCollect::CLogCollect(Platform::CPlatform& platform, CEventBinding& events)
    : m_platform(platform), m_events(events) {
    for (const LogKindDef& kind : kLogKinds)
        m_strLogFileKey[static_cast<std::size_t>(kind.index)] = LowerAscii(kind.prefix);
}

CLogCollect::~CLogCollect() {
    Close();
}

void CLogCollect::Run(const char* directory) {
    if (!directory)
        return;
    try {
        if (!Initialize())
            return;
        m_summary.SetConnected();

        std::string folder = directory;
        if (folder.empty())
            folder = GetModuleDirectory(m_platform.system);
        else
            folder = WithSeparator(folder);

        // Files that an ended run had claimed are listed again.
        m_platform.files.RecoverClaims(folder.empty() ? "." : folder);
        RemoveLeftoverFiles(folder);
        // A listing that fails yields nothing, as an empty one does.
        std::vector<Platform::FileEntry> entries;
        m_platform.files.ListFiles(folder, "*.csv", true, &entries);
        if (!entries.empty()) {
            BeginDataRunning();
            bool anyImported = false;
            for (const Platform::FileEntry& entry : entries) {
                if (entry.attributes & Platform::kAttributeDirectory)
                    continue;
                std::string path = folder + entry.name;
                m_summary.BeginFile();
                if (!LeaveOverlongPath(path) && ImportLogFile(path.c_str()))
                    anyImported = true;
                m_summary.EndFile();
            }
            if (anyImported)
                RunUpdateProcedure();
        }
        if (m_bDataRunning)
            EndDataRunning();
        Close();
    } catch (...) {
        // The run ends here; the entry goes on to its own teardown.
    }
}
