// The real ferrowin program over a real installation: the registry names the
// embedded database directly (each process opens it itself), and the program
// runs as a child process whose standard error is kept.
#pragma once
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/Server/Ferrowin/ImportFixture.h"

struct ProgramResult {
    int code = -1;       // exit code, or -1 when killed
    std::string errors;  // what it wrote on standard error
};

class ProgramFixture : public ImportFixture {
protected:
    void SetUp() override {
        ImportFixture::SetUp();
        WriteRegistry(EmbeddedRegistry());
    }

    // The registry of the installation without the scripted provider.
    std::string EmbeddedRegistry() {
        std::string registry = DefaultRegistry();
        std::string scripted = "Provider=Scripted;Target={";
        registry.erase(registry.find(scripted), scripted.size());
        registry.erase(registry.find("}\""), 1);
        return registry;
    }

    // Starts the program on `directory`; standard error goes to a file.
    pid_t Start(const std::string& directory) {
        std::string errors = m_root / "stderr.txt";
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
                dup2(fd, 2);
            for (const auto& [name, value] : m_childEnvironment)
                setenv(name.c_str(), value.c_str(), 1);
            execl(FERROWIN_PROGRAM, FERROWIN_PROGRAM, directory.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    ProgramResult Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(m_root / "stderr.txt")};
    }

    // Runs the program to its end. Tests of several binaries share the
    // program's one instance lock: a run that found it taken (exit 0,
    // nothing said) is tried again.
    ProgramResult RunProgram(const std::string& directory) {
        for (int attempt = 0;; ++attempt) {
            ProgramResult result = Wait(Start(directory));
            if (result.code != 0 || !result.errors.empty() || attempt == 600)
                return result;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // Kills the next programs started at the points `killAt` names (see
    // tests/Support/KillPoint.cpp); "" starts them without kill points.
    void SetKillPoints(const std::string& library, const std::string& killAt) {
        m_childEnvironment.clear();
        if (killAt.empty())
            return;
        const char* asan = std::getenv("ASAN_OPTIONS");
        m_childEnvironment = {
            {"LD_PRELOAD", library},
            {"FERROWIN_KILL_AT", killAt},
            // The sanitizers' runtime would refuse a library loaded before it.
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    }

    // Variables set in the programs started, over the test's environment.
    std::vector<std::pair<std::string, std::string>> m_childEnvironment;
};
