// The program's entry: the single-instance lock, the collector's run, and the
// teardown in a fixed order. `main` hands it the operating system's platform;
// tests hand it the fake.
#pragma once
#include "Platform/Platform.h"

// The name of the lock that keeps a second importer from running.
constexpr char kInstanceLockName[] = "FerrowinLog";

// Runs the whole program with the command line `argv` (`argc` entries, the
// program name first) and returns its exit code: 0 when another instance
// runs or an exception reached the entry, 1 otherwise, whatever the imports
// gave.
int RunFerrowin(Platform::CPlatform& platform, int argc, const char* const* argv);
