// tncsim's users on a real modem program's AGW port.
#include "agw_client.h"
#include "agw_frame.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tncsim {

AgwClient::AgwClient(std::string nodeCall) : m_nodeCall(std::move(nodeCall)) {}

AgwClient::~AgwClient() {
    if (m_fd >= 0) ::close(m_fd);
}

bool AgwClient::connectTo(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    m_fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = m_fd >= 0 && ::connect(m_fd, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    if (!ok && m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    return ok;
}

void AgwClient::addPollFds(std::vector<pollfd>& fds) const {
    if (m_fd >= 0) fds.push_back({m_fd, POLLIN, 0});
}

bool AgwClient::handle(const std::vector<pollfd>& fds) {
    for (const pollfd& fd : fds) {
        if (fd.fd != m_fd || (fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char buffer[8192];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (log) log("the modem program closed the connection");
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        m_in.append(buffer, static_cast<std::size_t>(n));
        bool oversized = false;
        while (const auto frame = takeAgwFrame(m_in, oversized))
            onFrame(frame->port, frame->kind, frame->from, frame->to, frame->data);
        if (oversized) {
            if (log)
                log("the modem program sent a frame over " + std::to_string(kAgwMaxData) +
                    " bytes");
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
    }
    return true;
}

void AgwClient::send(int port, char kind, const std::string& from, const std::string& to,
                     const std::string& data) {
    const std::string frame = agwFrame(port, kind, from, to, data);
    ::send(m_fd, frame.data(), frame.size(), MSG_NOSIGNAL);
}

void AgwClient::onFrame(int, char kind, const std::string& from, const std::string& to,
                        const std::string& data) {
    const auto user = m_users.find(to);
    switch (kind) {
    case 'X':
        if (log) log(from + (data == std::string(1, '\1') ? " registered" : " refused"));
        break;
    case 'C':
        if (log && user != m_users.end()) log(data.substr(0, data.find('\r')));
        break;
    case 'D':
        if (user != m_users.end() && toUser) toUser(user->second.port, user->second.stream, data);
        break;
    case 'd':
        if (user == m_users.end()) break;
        if (log) log(data.substr(0, data.find('\r')));
        if (droppedByNode) droppedByNode(user->second.port, user->second.stream);
        m_users.erase(user);
        break;
    default:
        break;
    }
}

void AgwClient::fromHost(std::string_view) {}

void AgwClient::userConnect(int port, char stream, const std::string& call) {
    m_users[call] = {port, stream, call};
    send(port - 1, 'X', call, "", "");
    send(port - 1, 'C', call, m_nodeCall, "");
}

void AgwClient::userData(int port, char stream, const std::string& text) {
    for (const auto& [call, user] : m_users)
        if (user.port == port && user.stream == stream) send(port - 1, 'D', call, m_nodeCall, text);
}

void AgwClient::userDisconnect(int port, char stream) {
    for (const auto& [call, user] : m_users)
        if (user.port == port && user.stream == stream) send(port - 1, 'd', call, m_nodeCall, "");
}

} // namespace tncsim
