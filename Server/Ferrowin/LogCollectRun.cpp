// The collector's life and its run over one directory.
#include <vector>

#include "Brennick/Helpers.h"
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/LogCollect.h"

CLogCollect::CLogCollect(Platform::CPlatform& platform) : m_platform(platform) {
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

        std::string folder = directory;
        if (folder.empty())
            folder = GetModuleDirectory(m_platform.system);
        else
            folder = WithSeparator(folder);

        // Files that an ended run had claimed are listed again.
        m_platform.files.RecoverClaims(folder.empty() ? "." : folder);
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
                if (ImportLogFile(path.c_str()))
                    anyImported = true;
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
