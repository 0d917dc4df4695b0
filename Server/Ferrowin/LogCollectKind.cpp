// Which kind of log a file holds, from the beginning of its base name.
#include "Server/Ferrowin/CollectCommon.h"
#include "Server/Ferrowin/LogCollect.h"

LogKind CLogCollect::GetLogKind(const char* path) {
    if (!path)
        return kNoLogKind;
    try {
        std::string name = LowerAscii(path);
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".csv") != 0)
            return kNoLogKind;
        name = BaseName(name);
        for (const LogKindDef& kind : kLogKinds) {
            const std::string& key = m_strLogFileKey[static_cast<std::size_t>(kind.index)];
            if (!key.empty() && name.compare(0, key.size(), key) == 0)
                return kind.index;
        }
    } catch (...) {
    }
    return kNoLogKind;
}
