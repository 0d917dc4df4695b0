#include "Server/Ferrowin/Entry.h"

#include <iostream>
#include <memory>

#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"

int RunFerrowin(Platform::CPlatform& platform, int argc, const char* const* argv) {
    CEventBinding events(platform);

    // Only one importer at a time. When the lock cannot even be made, this
    // run cannot know that it is alone, so it leaves the files to a later one.
    std::unique_ptr<Platform::IHeldLock> lock;
    Platform::Status status = platform.locks.Acquire(kInstanceLockName, &lock);
    if (status == Platform::kAlreadyExists)
        return 0;
    if (status != Platform::kSuccess) {
        std::cerr << "ferrowin: the instance lock \"" << kInstanceLockName
                  << "\" cannot be taken (status " << status << ")\n";
        return 0;
    }

    // The registry decides which library is loaded and where files are
    // moved. When another user can change it, it is not used at all, as ssh
    // refuses a configuration file that others can write.
    std::string reason;
    if (platform.registry.CheckTrusted(&reason) == Platform::kAccessDenied) {
        std::cerr << "ferrowin: the registry can be changed by other users, so nothing is "
                     "imported ("
                  << reason << ")\n";
        lock.reset();
        return 1;
    }

    int exitCode = 1;
    try {
        platform.system.InitializeCom();
        if (argc == 2 && argv[1]) {
            CLogCollect collect(platform, events);
            collect.Run(argv[1]);
        }
        platform.system.UninitializeCom();
    } catch (...) {
        exitCode = 0;
    }
    lock.reset();
    events.UnloadEventLibrary();
    return exitCode;
}
