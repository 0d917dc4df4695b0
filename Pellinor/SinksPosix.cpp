// Linux sinks.
//
//   Event text     escaping and the line of the event file
//   Event log      KESTRAFOLD_EVENTLOG file, else the system log
//   Engine         datagram to the abstract socket "KFENGINECLASS"
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Pellinor/EngineMessage.h"
#include "Pellinor/Sinks.h"

namespace {

const char kSource[] = "VeyrithDBMSG";

// One event is one line: backslash, tab, CR and LF are escaped, every other
// byte is written as it is.
std::string Escape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += *p;
        }
    }
    return out;
}

void WriteAll(int fd, const std::string& data) {
    // O_APPEND makes one write land whole at the end, whoever else appends.
    ssize_t n;
    do {
        n = write(fd, data.data(), data.size());
    } while (n < 0 && errno == EINTR);
}

void AppendToEventFile(const char* path, std::uint32_t eventId, const char* text) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  now.tv_nsec / 1000000);
    std::string line = std::string(stamp) + "\t" + kSource + "\twarning\t" +
                       std::to_string(eventId) + "\t" + Escape(text) + "\n";
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    WriteAll(fd, line);
    close(fd);
}

// Straight to /dev/log, so that the host process's own openlog settings are
// neither used nor changed.
void SendToSystemLog(std::uint32_t eventId, const char* text) {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    const int priority = 1 * 8 + 4;  // LOG_USER | LOG_WARNING
    std::string message = "<" + std::to_string(priority) + ">" + stamp + " " + kSource + "[" +
                          std::to_string(getpid()) + "]: event " + std::to_string(eventId) + ": " +
                          Escape(text);
    sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
    close(fd);
}

}  // namespace

void WriteWarningEvent(std::uint32_t eventId, const char* text) {
    const char* file = std::getenv("KESTRAFOLD_EVENTLOG");
    if (file && *file)
        AppendToEventFile(file, eventId, text);
    else
        SendToSystemLog(eventId, text);
}

bool SendToEngine(const void* record) {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Abstract address: a leading NUL, then exactly the class name.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, kEngineClass, sizeof kEngineClass - 1);
    auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof kEngineClass - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        close(fd);
        return false;
    }
    timeval timeout{kEngineTimeoutMs / 1000, (kEngineTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    unsigned char message[kEngineMessageSize];
    const CopyDataHeader header{kEngineDataKind, kPellinorRecordSize, record};
    std::memcpy(message, &header, sizeof header);
    std::memcpy(message + kEngineRecordOffset, record, kPellinorRecordSize);
    send(fd, message, sizeof message, MSG_NOSIGNAL);
    close(fd);
    return true;
}
