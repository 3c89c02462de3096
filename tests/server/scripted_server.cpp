// Scripted loopback TCP server for the server-link tests.
#include "scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace gwtest {
namespace {
int listenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}
} // namespace

std::uint16_t closedPort() {
    std::uint16_t port = 0;
    ::close(listenOnLoopback(port));
    return port;
}

ScriptedServer::ScriptedServer(Script script) : m_script(std::move(script)) {
    m_listen = listenOnLoopback(m_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    m_stop = true;
    m_acceptThread.join();
    for (std::thread& worker : m_workers)
        worker.join();
    ::close(m_listen);
}

void ScriptedServer::acceptLoop() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int connection = m_connections++;
        {
            const std::lock_guard lock(m_mutex);
            m_received.emplace_back();
        }
        m_workers.emplace_back([this, fd, connection] {
            m_script(fd, connection, *this);
            ::close(fd);
        });
    }
}

std::vector<std::string> ScriptedServer::received() const {
    const std::lock_guard lock(m_mutex);
    return m_received;
}

void ScriptedServer::record(int connection, const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_received.at(static_cast<std::size_t>(connection)) += text;
}

std::string ScriptedServer::readUntil(int fd, const std::string& terminator,
                                      std::chrono::milliseconds timeout) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
        if (text.size() >= terminator.size() &&
            text.compare(text.size() - terminator.size(), terminator.size(), terminator) == 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool ScriptedServer::waitForClose(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        if (::read(fd, buffer, sizeof buffer) <= 0) return true;
    }
    return false;
}

void ScriptedServer::sendAll(int fd, const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const ssize_t n = ::send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

void ScriptedServer::reset(int fd) {
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

} // namespace gwtest
