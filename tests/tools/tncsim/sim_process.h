// The running simulator for tests: started with a script, its pty or TCP port opened as the node
// would open it, bytes written and read back with bounded waits, its output collected.
#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace tncsimtest {

class Sim {
  public:
    explicit Sim(QStringList args, const std::string& script = "") {
        if (!script.empty()) {
            QFile file(dir.filePath("users.script"));
            file.open(QIODevice::WriteOnly);
            file.write(script.c_str());
            file.close();
            args << "--script" << dir.filePath("users.script") << "--start-after"
                 << "0";
        }
        process.start(QStringLiteral(TNCSIM_PATH), args);
        process.waitForStarted(5000);
        const std::string first = output("\n");
        const auto on = first.find(" on ");
        if (on == std::string::npos) return;
        where = first.substr(on + 4, first.find_first_of(" \n", on + 4) - on - 4);
        open();
    }
    ~Sim() {
        if (fd >= 0) ::close(fd);
        process.terminate();
        process.waitForFinished(3000);
    }
    // Opens the pty, or connects to the TCP port, the first line named.
    void open() {
        if (where.rfind("127.0.0.1:", 0) != 0) {
            fd = ::open(where.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios tio{};
            tcgetattr(fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(fd, TCSANOW, &tio);
            return;
        }
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(where.substr(10))));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    void write(const std::string& bytes) {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the TNC sent until `until` appeared (or `ms` passed); with an empty `until`, all
    // that came in `ms`.
    std::string read(const std::string& until, int ms = 2000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while ((until.empty() || received.find(until) == std::string::npos) &&
               std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
        }
        const auto at = until.empty() ? std::string::npos : received.find(until);
        std::string out =
            received.substr(0, at == std::string::npos ? received.size() : at + until.size());
        received.erase(0, out.size());
        return out;
    }
    // The simulator's output until `until` appeared.
    std::string output(const std::string& until, int ms = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (printed.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
            process.waitForReadyRead(20);
            printed += process.readAllStandardOutput().toStdString();
        }
        return printed;
    }

    QTemporaryDir dir;
    QProcess process;
    std::string where;
    int fd = -1;
    std::string received, printed;
};

} // namespace tncsimtest
