// Helpers of the Windows tests: files beside the test program, and the test
// program run again as a child for one test.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "Platform/Win32/Win32Api.h"
#include "tests/Support/TempDir.h"

inline std::string ThisProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// `name` in the folder of the running test program.
inline std::string BesideThisProgram(const std::string& name) {
    std::string program = ThisProgram();
    return program.substr(0, program.rfind('\\') + 1) + name;
}

// Runs the disabled test `test` ("Suite.DISABLED_Name") of this program in a
// child process with `environment` added. Returns the exit code: 0 when the
// child's test passed.
inline DWORD RunChildTest(const std::string& test,
                          const std::vector<std::pair<std::string, std::string>>& environment) {
    std::vector<CScopedEnv> set;
    set.reserve(environment.size());
    for (const auto& [name, value] : environment) set.emplace_back(name.c_str(), value);
    std::string command =
        "\"" + ThisProgram() + "\" --gtest_also_run_disabled_tests --gtest_filter=" + test;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 1000 + GetLastError();
    Platform::Win32::CKernelHandle child(process.hProcess), thread(process.hThread);
    DWORD code = 999;
    if (WaitForSingleObject(child.Get(), 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.Get(), &code);
    return code;
}
