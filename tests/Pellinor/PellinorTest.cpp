// The built libpellinor.so, loaded as the importer loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <regex>

#include "Pellinor/EngineMessage.h"
#include "tests/Support/EventLog.h"

namespace {

using SendLogSvrLogFunction = int (*)(const char*, const char*);
using SendPellinorFunction = int (*)(const void*);

class PellinorTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_library = dlopen(PELLINOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, m_library) << dlerror();
        m_sendLog = reinterpret_cast<SendLogSvrLogFunction>(dlsym(m_library, "SendLogSvrLog"));
        m_sendPellinor = reinterpret_cast<SendPellinorFunction>(dlsym(m_library, "SendPellinor"));
        ASSERT_NE(nullptr, m_sendLog);
        ASSERT_NE(nullptr, m_sendPellinor);
    }
    void TearDown() override {
        if (m_library)
            dlclose(m_library);
    }
    void* m_library = nullptr;
    SendLogSvrLogFunction m_sendLog = nullptr;
    SendPellinorFunction m_sendPellinor = nullptr;
};

TEST_F(PellinorTest, EventLineFormat) {
    CTempDir dir;
    CScopedEnv env("KESTRAFOLD_EVENTLOG", dir / "events.log");
    struct {
        const char* id;
        const char* number;
    } cases[] = {
        {"010108", "10108"}, {"050603", "50603"}, {"-2147472426", "2147494870"}, {"abc", "0"}};
    const std::string text = "データベース\ttab\\back\r\nline";
    for (const auto& c : cases) EXPECT_EQ(1, m_sendLog(c.id, text.c_str()));
    EXPECT_EQ(0, m_sendLog(nullptr, "x"));
    EXPECT_EQ(0, m_sendLog("010108", nullptr));

    std::vector<LoggedEvent> events = ReadEvents(dir / "events.log");
    ASSERT_EQ(4u, events.size());
    const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})");
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_TRUE(std::regex_match(events[i].time, stamp)) << events[i].time;
        EXPECT_EQ("VeyrithDBMSG", events[i].source);
        EXPECT_EQ("warning", events[i].type);
        EXPECT_EQ(cases[i].number, events[i].id);
        EXPECT_EQ("データベース\\ttab\\\\back\\r\\nline", events[i].text);
    }
}

TEST_F(PellinorTest, SinkFailureStillReturnsOne) {
    CScopedEnv env("KESTRAFOLD_EVENTLOG", "/nonexistent-folder/events.log");
    EXPECT_EQ(1, m_sendLog("010108", "x"));
}

TEST_F(PellinorTest, ConcurrentProcessesKeepLinesWhole) {
    CTempDir dir;
    CScopedEnv env("KESTRAFOLD_EVENTLOG", dir / "events.log");
    const int kProcesses = 8, kEvents = 150;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int e = 0; e < kEvents; ++e) {
                std::string text = "p" + std::to_string(p) + "e" + std::to_string(e) + ":" +
                                   std::string(3000 + p * 100, static_cast<char>('a' + p));
                m_sendLog(std::to_string(10000 + p).c_str(), text.c_str());
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(0, status);
    }
    std::vector<LoggedEvent> events = ReadEvents(dir / "events.log");
    ASSERT_EQ(static_cast<size_t>(kProcesses * kEvents), events.size());
    for (const LoggedEvent& e : events) {
        ASSERT_EQ("VeyrithDBMSG", e.source) << e.text.substr(0, 80);
        int p = std::stoi(e.id) - 10000;
        ASSERT_GE(p, 0);
        ASSERT_LT(p, kProcesses);
        size_t colon = e.text.find(':');
        ASSERT_NE(std::string::npos, colon);
        EXPECT_EQ(std::string(3000 + p * 100, static_cast<char>('a' + p)),
                  e.text.substr(colon + 1));
    }
}

// The engine's end of the socket.
class CEngineSocket {
public:
    CEngineSocket() {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, kEngineClass, sizeof kEngineClass - 1);
        auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof kEngineClass - 1);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    }
    ~CEngineSocket() { close(m_fd); }
    bool Bound() const { return m_bound; }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_bound = false;
};

// One test, because every part needs the one engine address to itself.
TEST_F(PellinorTest, SendPellinor) {
    unsigned char record[kPellinorRecordSize];
    for (size_t i = 0; i < sizeof record; ++i) record[i] = static_cast<unsigned char>(i * 7);
    EXPECT_EQ(0, m_sendPellinor(nullptr));
    EXPECT_EQ(0, m_sendPellinor(record));  // no engine yet

    {
        CEngineSocket engine;
        ASSERT_TRUE(engine.Bound());
        EXPECT_EQ(1, m_sendPellinor(record));
        // The buffer has room to spare, so that bytes after the record show.
        unsigned char received[1024] = {};
        ssize_t n = recv(engine.Fd(), received, sizeof received, 0);
        ASSERT_EQ(static_cast<ssize_t>(sizeof(CopyDataHeader) + 564), n);
        CopyDataHeader header;
        std::memcpy(&header, received, sizeof header);
        EXPECT_EQ(1u, header.dwData);
        EXPECT_EQ(564u, header.cbData);
        EXPECT_EQ(static_cast<const void*>(record), header.lpData);
        EXPECT_EQ(0, std::memcmp(record, received + sizeof(CopyDataHeader), sizeof record));
    }

    // A receiver that never reads: once its queue is full, each send waits for
    // the time-out and still counts as delivered.
    CEngineSocket engine;
    ASSERT_TRUE(engine.Bound());
    using Clock = std::chrono::steady_clock;
    bool blocked = false;
    for (int i = 0; i < 200 && !blocked; ++i) {
        auto start = Clock::now();
        EXPECT_EQ(1, m_sendPellinor(record));
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_LT(ms.count(), 1800);
        blocked = ms.count() >= 800;
    }
    EXPECT_TRUE(blocked) << "the queue never filled, so the time-out was not exercised";
}

}  // namespace
