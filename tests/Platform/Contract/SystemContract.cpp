// Processes: which ids belong to a running process.
#include "tests/Platform/Contract/PlatformFixture.h"

using namespace Platform;

namespace {

struct ProcessCase {
    const char* name;
    std::uint32_t (*pid)(ISystem&);
    bool alive;
};

const ProcessCase kProcesses[] = {
    {"this process", [](ISystem& s) { return s.CurrentProcessId(); }, true},
    {"id 0 is no process", [](ISystem&) { return std::uint32_t{0}; }, false},
    // Far above any id a system hands out (Linux stops at 2^22).
    {"an id no process has", [](ISystem&) { return std::uint32_t{0x7FFFFFFC}; }, false},
    // Beyond pid_t: -1 to kill() would mean every process.
    {"the largest id", [](ISystem&) { return std::uint32_t{0xFFFFFFFF}; }, false},
};

TEST_P(PlatformContract, ProcessesAreAliveOnlyWhileTheyRun) {
    ISystem& system = Get().system;
    for (const ProcessCase& c : kProcesses) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.alive, system.IsProcessAlive(c.pid(system)));
    }
}

}  // namespace
