// A PostgreSQL server of the test's own: initdb in a temporary folder, started
// on a free loopback port, stopped and removed at the end. As root the server
// runs as the postgres user, since PostgreSQL refuses to run as root.
#pragma once
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "tests/Support/TempDir.h"

class CPostgresServer {
public:
    CPostgresServer() : m_dir("/tmp") {
        m_bin = FindBin();
        m_port = FreePort();
        std::string data = m_dir / "data";
        bool root = geteuid() == 0;
        if (root) {
            passwd* pg = getpwnam("postgres");
            if (!pg)
                throw std::runtime_error("no postgres user");
            if (chown(m_dir.Path().c_str(), pg->pw_uid, pg->pw_gid) != 0)
                throw std::runtime_error("chown failed");
            m_as = "runuser -u postgres -- ";
        }
        Run(m_as + m_bin + "/initdb -D " + data + " -A trust -U postgres >" +
            (m_dir / "initdb.log") + " 2>&1");
        Run(m_as + m_bin + "/pg_ctl -D " + data + " -l " + (m_dir / "server.log") +
            " -w -t 60 -o \"-p " + std::to_string(m_port) + " -k " + m_dir.Path() +
            " -c listen_addresses=127.0.0.1 -c fsync=off\" start >/dev/null");
        m_started = true;
    }
    ~CPostgresServer() {
        if (m_started)
            std::system((m_as + m_bin + "/pg_ctl -D " + (m_dir / "data") +
                         " -m immediate -w stop >/dev/null 2>&1")
                            .c_str());
    }
    CPostgresServer(const CPostgresServer&) = delete;
    CPostgresServer& operator=(const CPostgresServer&) = delete;

    int Port() const { return m_port; }
    std::string ConnectionString() const {
        return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(m_port) +
               ";Database=postgres;UID=postgres;";
    }
    // Runs SQL through psql as the superuser; returns psql's exit status.
    int Psql(const std::string& sql) const {
        std::string file = m_dir / "script.sql";
        std::ofstream(file) << sql;
        return std::system(("psql -q -h 127.0.0.1 -p " + std::to_string(m_port) +
                            " -U postgres -d postgres -v ON_ERROR_STOP=1 -f " + file +
                            " >/dev/null 2>&1")
                               .c_str());
    }
    // The postmaster's process id (first line of postmaster.pid).
    pid_t PostmasterPid() const {
        std::ifstream in(m_dir / "data/postmaster.pid");
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    }

private:
    static std::string FindBin() {
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql"))
            if (std::filesystem::exists(entry.path() / "bin/initdb"))
                return (entry.path() / "bin").string();
        throw std::runtime_error("PostgreSQL server binaries not found");
    }
    static int FreePort() {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        close(fd);
        return ntohs(address.sin_port);
    }
    static void Run(const std::string& command) {
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("failed: " + command);
    }

    CTempDir m_dir;
    std::string m_bin, m_as;
    int m_port = 0;
    bool m_started = false;
};
