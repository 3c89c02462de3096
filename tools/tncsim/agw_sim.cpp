// The simulated AGW modem program.
#include "agw_sim.h"
#include "agw_frame.h"
#include "loopback_listener.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace tncsim {

using namespace std::chrono_literals;

AgwSim::AgwSim(AgwSimOptions options) : m_options(options) {}

AgwSim::~AgwSim() {
    for (const Client& client : m_clients)
        ::close(client.fd);
    if (m_listen >= 0) ::close(m_listen);
}

std::string AgwSim::key(int port, char stream) {
    return std::to_string(port) + stream;
}

bool AgwSim::listen() {
    int port = m_port != 0 ? m_port : m_options.tcpPort;
    m_listen = listenOnLoopback(port);
    if (m_listen < 0) return false;
    m_port = port;
    return true;
}

void AgwSim::addPollFds(std::vector<pollfd>& fds) const {
    if (m_listen >= 0) fds.push_back({m_listen, POLLIN, 0});
    for (const Client& client : m_clients)
        fds.push_back({client.fd, POLLIN, 0});
}

bool AgwSim::handle(const std::vector<pollfd>& fds) {
    for (const pollfd& fd : fds) {
        if ((fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        if (fd.fd == m_listen) {
            accept();
            continue;
        }
        for (Client& client : m_clients)
            if (client.fd == fd.fd) {
                receive(client);
                break;
            }
    }
    // Clients that closed are marked with fd -1 by receive().
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (it->fd >= 0) {
            ++it;
            continue;
        }
        it = m_clients.erase(it);
    }
    return true;
}

void AgwSim::accept() {
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    m_clients.push_back({fd, {}, {}});
    if (log) log("application connected");
}

void AgwSim::receive(Client& client) {
    char buffer[8192];
    const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    const int fd = client.fd;
    if (n <= 0) {
        if (log) log("application left");
        for (auto it = m_links.begin(); it != m_links.end();) {
            if (it->second.client != fd) {
                ++it;
                continue;
            }
            const int port = it->second.port;
            const char stream = it->second.stream;
            it = m_links.erase(it);
            if (droppedByNode) droppedByNode(port, stream);
        }
        ::close(fd);
        client.fd = -1;
        return;
    }
    client.in.append(buffer, static_cast<std::size_t>(n));
    bool oversized = false;
    while (const auto frame = takeAgwFrame(client.in, oversized)) {
        onFrame(client, frame->port, frame->kind, frame->from, frame->to, frame->data);
        if (client.fd < 0) return;
    }
    if (oversized) {
        if (log) log("application sent a frame over " + std::to_string(kAgwMaxData) + " bytes");
        client.in.clear();
    }
}

void AgwSim::send(int fd, int port, char kind, const std::string& from, const std::string& to,
                  const std::string& data) {
    // The application reads promptly; a short write means it is gone.
    const std::string frame = agwFrame(port, kind, from, to, data);
    ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
}

AgwSim::Client* AgwSim::registeredFor(const std::string& call) {
    for (Client& client : m_clients)
        if (client.fd >= 0 && client.call == call) return &client;
    return nullptr;
}

std::map<std::string, AgwSim::Link>::iterator AgwSim::findLink(int agwPort,
                                                               const std::string& user) {
    for (auto it = m_links.begin(); it != m_links.end(); ++it)
        if (it->second.port == agwPort + 1 && it->second.user == user) return it;
    return m_links.end();
}

void AgwSim::onFrame(Client& client, int port, char kind, const std::string& from,
                     const std::string& to, const std::string& data) {
    switch (kind) {
    case 'R': {
        std::string version;
        appendU32(version, 2005);
        appendU32(version, 127);
        send(client.fd, 0, 'R', "", "", version);
        break;
    }
    case 'G': {
        std::string ports = std::to_string(m_options.radioPorts) + ";";
        for (int p = 1; p <= m_options.radioPorts; ++p)
            ports += "Port" + std::to_string(p) + " simulated channel " + std::to_string(p) + ";";
        send(client.fd, 0, 'G', "", "", ports + std::string(1, '\0'));
        break;
    }
    case 'X': {
        const bool taken = registeredFor(from) != nullptr;
        const bool accepted = !m_options.refuse && !taken && !from.empty();
        if (accepted) client.call = from;
        if (accepted && !m_firstRegistration) m_firstRegistration = Clock::now();
        if (log) log(std::string(accepted ? "registered " : "refused to register ") + from);
        send(client.fd, 0, 'X', from, "", std::string(1, accepted ? '\1' : '\0'));
        break;
    }
    case 'x':
        if (client.call == from) client.call.clear();
        if (log) log("unregistered " + from);
        break;
    case 'D': {
        const auto link = findLink(port, to);
        if (link == m_links.end() || link->second.closing) break;
        link->second.queue.push_back(data);
        break;
    }
    case 'Y': {
        const auto link = findLink(port, to);
        std::string count;
        appendU32(count, link == m_links.end()
                             ? 0
                             : static_cast<std::uint32_t>(link->second.queue.size()));
        send(client.fd, port, 'Y', from, to, count);
        break;
    }
    case 'd': {
        const auto link = findLink(port, to);
        if (link == m_links.end()) break;
        if (m_options.dropQueued && !link->second.queue.empty()) {
            if (log)
                log("disconnect drops " + std::to_string(link->second.queue.size()) +
                    " queued frame(s)");
            link->second.queue.clear();
        }
        link->second.closing = true;
        break;
    }
    default:
        if (log) log(std::string("ignored frame kind ") + kind);
        break;
    }
}

void AgwSim::endLink(std::map<std::string, Link>::iterator link, bool tellApplication) {
    const Link ended = link->second;
    m_links.erase(link);
    if (tellApplication)
        for (Client& client : m_clients)
            if (client.fd == ended.client)
                send(client.fd, ended.port - 1, 'd', ended.user, ended.node,
                     "*** DISCONNECTED From Station " + ended.user + "\r" + std::string(1, '\0'));
}

std::chrono::milliseconds AgwSim::service() {
    const auto now = Clock::now();
    auto next = std::chrono::milliseconds(1000);
    for (auto it = m_links.begin(); it != m_links.end();) {
        Link& link = it->second;
        while (!link.queue.empty() && now >= link.nextDelivery) {
            const std::string text = link.queue.front();
            link.queue.pop_front();
            if (m_options.rate > 0)
                link.nextDelivery =
                    now + std::chrono::milliseconds(
                              1 + text.size() * 1000 / static_cast<std::size_t>(m_options.rate));
            if (toUser) toUser(link.port, link.stream, text);
        }
        if (link.closing && link.queue.empty()) {
            const int port = link.port;
            const char stream = link.stream;
            auto ending = it++;
            endLink(ending, true);
            if (droppedByNode) droppedByNode(port, stream);
            continue;
        }
        if (!link.queue.empty())
            next = std::min(next, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      link.nextDelivery - now) +
                                      std::chrono::milliseconds(1));
        ++it;
    }
    if (m_firstRegistration) {
        const auto since =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - *m_firstRegistration);
        if (m_options.malformedAfterMs >= 0 && !m_malformedSent &&
            since.count() >= m_options.malformedAfterMs) {
            m_malformedSent = true;
            for (Client& client : m_clients) {
                if (client.call.empty()) continue;
                std::string broken(36, '\0'); // a header only
                broken[4] = 'D';
                broken[31] = '\x7F'; // DataLen far beyond any frame
                ::send(client.fd, broken.data(), broken.size(), MSG_NOSIGNAL);
                if (log) log("sent a malformed frame");
            }
        }
        if (m_options.vanishAfterMs >= 0 && !m_vanished && since.count() >= m_options.vanishAfterMs)
            vanish();
    }
    if (m_vanished && !m_returned && m_options.returnAfterMs >= 0 &&
        now - m_vanishedAt >= std::chrono::milliseconds(m_options.returnAfterMs)) {
        m_returned = true;
        if (listen() && log) log("back on port " + std::to_string(m_port));
    }
    if (m_vanished && !m_returned && m_options.returnAfterMs >= 0) next = std::min(next, 20ms);
    if (m_firstRegistration && !m_vanished) next = std::min(next, 50ms);
    return next;
}

void AgwSim::vanish() {
    m_vanished = true;
    m_vanishedAt = Clock::now();
    if (log) log("vanishing");
    // The radio links die with the modem program.
    for (const auto& [name, link] : m_links)
        if (droppedByNode) droppedByNode(link.port, link.stream);
    m_links.clear();
    for (Client& client : m_clients)
        ::close(client.fd);
    m_clients.clear();
    ::close(m_listen);
    m_listen = -1;
}

void AgwSim::fromHost(std::string_view) {}

void AgwSim::userConnect(int port, char stream, const std::string& call) {
    Client* node = nullptr;
    for (Client& client : m_clients)
        if (client.fd >= 0 && !client.call.empty()) node = &client;
    if (node == nullptr || port > m_options.radioPorts) {
        if (log) log(call + " calls, but no application has registered");
        return;
    }
    Link link;
    link.port = port;
    link.stream = stream;
    link.user = call;
    link.node = node->call;
    link.client = node->fd;
    m_links[key(port, stream)] = link;
    send(node->fd, port - 1, 'C', call, node->call,
         "*** CONNECTED To Station " + call + "\r" + std::string(1, '\0'));
}

void AgwSim::userData(int port, char stream, const std::string& text) {
    const auto it = m_links.find(key(port, stream));
    if (it == m_links.end()) return;
    send(it->second.client, port - 1, 'D', it->second.user, it->second.node, text);
}

void AgwSim::userDisconnect(int port, char stream) {
    const auto it = m_links.find(key(port, stream));
    if (it != m_links.end()) endLink(it, true);
}

bool AgwSim::working() const {
    for (const Client& client : m_clients)
        if (!client.call.empty()) return true;
    return false;
}

} // namespace tncsim
