// Starting smsd for tests, and a blocking loopback client.
#include "smsd_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

namespace gwtest {

SmsdProcess::SmsdProcess(const QStringList& arguments) {
    m_process.start(QStringLiteral(SMSD_PATH),
                    QStringList{"--port", "0", "--db", ":memory:"} + arguments);
    if (!m_process.waitForStarted(5000)) return;
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
    for (int i = 0; i < 100 && m_port == 0; ++i) {
        m_process.waitForReadyRead(100);
        m_log += m_process.readAllStandardError().toStdString();
        std::smatch match;
        if (std::regex_search(m_log, match, listening))
            m_port = static_cast<std::uint16_t>(std::stoi(match[1]));
        if (m_process.state() == QProcess::NotRunning) break;
    }
}

SmsdProcess::~SmsdProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::string SmsdProcess::log() {
    m_process.waitForReadyRead(100);
    m_log += m_process.readAllStandardError().toStdString();
    return m_log;
}

int SmsdProcess::terminate() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) return -1;
    m_log += m_process.readAllStandardError().toStdString();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void SmsdProcess::kill() {
    m_process.kill();
    m_process.waitForFinished(5000);
    m_log += m_process.readAllStandardError().toStdString();
}

int connectTo(std::uint16_t port, const char* from) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::inet_pton(AF_INET, from, &source.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Exchange finish(int fd) {
    Exchange result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            result.reply.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0)
            result.closed = true;
        else
            result.reset = errno == ECONNRESET;
        break;
    }
    ::close(fd);
    return result;
}

Exchange exchange(std::uint16_t port, const std::string& request, const char* from) {
    const int fd = connectTo(port, from);
    if (fd < 0) return {};
    std::size_t at = 0;
    while (at < request.size()) {
        const ssize_t n = ::send(fd, request.data() + at, request.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == ECONNRESET) {
            // The reset came before the request was out; reading now would only see the end.
            ::close(fd);
            Exchange reset;
            reset.reset = true;
            return reset;
        }
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
    }
    return finish(fd);
}

} // namespace gwtest
