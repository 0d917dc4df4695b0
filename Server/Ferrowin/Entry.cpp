#include "Server/Ferrowin/Entry.h"

#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "Server/Ferrowin/EventReport.h"
#include "Server/Ferrowin/LogCollect.h"

namespace {

constexpr char kVersionText[] = "ferrowin 1.0.0\n";
constexpr char kHelpText[] =
    "Usage: ferrowin DIRECTORY\n"
    "Load every *.csv log file of DIRECTORY into the product database, move each\n"
    "loaded file to the backup folder and each failed one to the error folder.\n"
    "Settings come from the registry file (KESTRAFOLD_REGISTRY) and the product's\n"
    "INI files; failures are reported as numbered events.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Any other argument is the directory, even when it starts with '-'.\n"
    "Each run prints one summary line. When FERROWIN_METRICS names a file, each\n"
    "run also writes its figures there in the Prometheus text format.\n"
    "Exit status: 1 after a run, whatever the imports gave; 0 when another run\n"
    "holds the lock.\n"
    "See ferrowin(8).\n";

// The variable that names the metrics file.
constexpr char kMetricsVariable[] = "FERROWIN_METRICS";

// The value of an environment variable, "" when it is not set.
std::string EnvironmentValue(Platform::ISystem& system, const std::string& name) {
    std::string reference = "%" + name + "%";
    std::string value = system.ExpandEnvironment(reference);
    return value == reference ? std::string() : value;
}

// The metrics file is replaced as a whole, so that the exporter never reads
// half of it. The last good run's time is carried over from the file that is
// replaced when this run was not good.
void WriteMetrics(Platform::CPlatform& platform, const CRunSummary& summary) {
    std::string path = EnvironmentValue(platform.system, kMetricsVariable);
    if (path.empty())
        return;
    std::string previous;
    std::optional<double> lastGood;
    if (platform.files.ReadWhole(path, &previous) == Platform::kSuccess)
        lastGood = ReadLastGoodTime(previous);
    std::vector<std::string> tables;
    for (const LogKindDef& kind : kLogKinds) tables.push_back(kind.table);
    Platform::Status status =
        platform.files.ReplaceContent(path, summary.Metrics(lastGood, tables), path + ".tmp",
                                      /*readableByAll=*/true);
    if (status != Platform::kSuccess)
        std::cerr << "ferrowin: the metrics file \"" << path << "\" cannot be written (status "
                  << status << ")\n";
}

}  // namespace

int RunFerrowin(Platform::CPlatform& platform, int argc, const char* const* argv) {
    CEventBinding events(platform);

    // As GNU tools do; neither is a folder, so no lock is taken and nothing
    // is read or written.
    if (argc == 2 && argv[1] && std::strcmp(argv[1], "--version") == 0) {
        std::cout << kVersionText << std::flush;
        return 0;
    }
    if (argc == 2 && argv[1] && std::strcmp(argv[1], "--help") == 0) {
        std::cout << kHelpText << std::flush;
        return 0;
    }

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
            collect.Summary().Start();
            collect.Run(argv[1]);
            collect.Summary().Finish();
            // One line for the journal, beside the events.
            std::cout << collect.Summary().Line() << std::endl;
            WriteMetrics(platform, collect.Summary());
        }
        platform.system.UninitializeCom();
    } catch (...) {
        exitCode = 0;
    }
    lock.reset();
    events.UnloadEventLibrary();
    return exitCode;
}
