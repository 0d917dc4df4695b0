// The single-instance lock between real processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Platform/Platform.h"

using namespace Platform;

namespace {

TEST(InstanceLock, HeldByOneProcessAndFreedWhenItIsKilled) {
    std::string name = "FerrowinLogTest" + std::to_string(getpid());
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::unique_ptr<IHeldLock> held;
        char status = DefaultPlatform().locks.Acquire(name, &held) == kSuccess ? 'y' : 'n';
        if (write(ready[1], &status, 1) != 1)
            _exit(2);
        for (;;) pause();
    }
    close(ready[1]);
    char status = 0;
    ASSERT_EQ(1, read(ready[0], &status, 1));
    close(ready[0]);
    ASSERT_EQ('y', status);

    std::unique_ptr<IHeldLock> held;
    EXPECT_EQ(kAlreadyExists, DefaultPlatform().locks.Acquire(name, &held));
    EXPECT_EQ(nullptr, held);

    kill(child, SIGKILL);
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    EXPECT_EQ(kSuccess, DefaultPlatform().locks.Acquire(name, &held));
    EXPECT_NE(nullptr, held);

    // Released on destruction: a fresh acquire in this process succeeds.
    held.reset();
    EXPECT_EQ(kSuccess, DefaultPlatform().locks.Acquire(name, &held));
    held.reset();
    unlink(("/run/lock/" + name + ".lock").c_str());
    unlink(("/tmp/" + name + ".lock").c_str());
}

}  // namespace
