// The AGW TCP client socket over POSIX non-blocking sockets.
#include "tnc/agw_socket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gw {

AgwSocket::~AgwSocket() {
    close();
}

void AgwSocket::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_state = State::Closed;
    m_out.clear();
}

void AgwSocket::fail(const std::string& why) {
    close();
    m_error = why;
}

bool AgwSocket::connectTo(const std::string& host, int port) {
    close();
    m_error.clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        m_error = ::gai_strerror(rc);
        return false;
    }
    m_fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_error = std::strerror(errno);
        ::freeaddrinfo(found);
        return false;
    }
    const int rc = ::connect(m_fd, found->ai_addr, found->ai_addrlen);
    const int error = errno;
    ::freeaddrinfo(found);
    if (rc == 0) {
        m_state = State::Connected;
    } else if (error == EINPROGRESS) {
        m_state = State::Connecting;
    } else {
        fail(std::strerror(error));
        return false;
    }
    return true;
}

void AgwSocket::service() {
    if (m_state == State::Connecting) {
        pollfd fd{m_fd, POLLOUT, 0};
        if (::poll(&fd, 1, 0) <= 0) return;
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            fail(std::strerror(error));
            return;
        }
        m_state = State::Connected;
    }
    if (m_state == State::Connected) flush();
}

void AgwSocket::flush() {
    while (!m_out.empty()) {
        const ssize_t n = ::send(m_fd, m_out.data(), m_out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            m_out.erase(0, static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        } else {
            fail(std::strerror(errno));
            return;
        }
    }
}

void AgwSocket::send(std::string_view bytes) {
    if (m_state != State::Connected) return;
    m_out.append(bytes);
    if (m_out.size() > kMaxQueued) {
        fail("the modem program stopped reading");
        return;
    }
    flush();
}

std::string AgwSocket::read() {
    service();
    std::string in;
    if (m_state != State::Connected) return in;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            in.append(buffer, static_cast<std::size_t>(n));
            // One call hands on a bounded amount; the rest waits for the next.
            if (in.size() >= 4 * sizeof buffer) return in;
        } else if (n == 0) {
            fail("closed by the modem program");
            return in;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return in;
        } else if (errno != EINTR) {
            fail(std::strerror(errno));
            return in;
        }
    }
}

} // namespace gw
