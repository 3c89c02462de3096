// smsd's listening socket and the answers to requests.
#include "server.h"

#include "common/text.h"
#include "connection.h"
#include "log_text.h"

#include <QDateTime>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace smsd {
namespace {
const QString kStampFormat = QStringLiteral("yyyy/MM/dd HH:mm");
constexpr int kAcceptsPerWakeup = 64;

// Subjects are one line of a list reply.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

std::string listLine(const StoredMessage& m) {
    return encodeField(m.mid) + "|" + m.originated + "|" + std::to_string(m.body.size()) + "|" +
           m.sender + "|" + encodeField(oneLine(m.subject)) + "\r\n";
}

std::string readReply(const StoredMessage& m) {
    std::string text =
        "Mid: " + m.mid + "\r\nDate: " + m.originated + "\r\nFrom: " + m.sender + "\r\n";
    for (const std::string& to : m.to)
        text += "To: " + to + "\r\n";
    for (const std::string& cc : m.cc)
        text += "Cc: " + cc + "\r\n";
    text += "Subject: " + m.subject + "\r\n\r\n" + m.body + "\r\n/EX\r\n";
    return text;
}

std::vector<std::string> nonEmpty(const std::vector<std::string>& addresses) {
    std::vector<std::string> kept;
    for (const std::string& address : addresses)
        if (!address.empty()) kept.push_back(gw::toUpper(address));
    return kept;
}

Answer reply(std::string text, std::string outcome) {
    return {Answer::Kind::Reply, std::move(text), std::move(outcome), {}};
}

Answer refuse(std::string outcome) {
    return {Answer::Kind::Refuse, {}, std::move(outcome), {}};
}

// Out of descriptors or kernel memory: accepting again at once would only fail again.
bool shortOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}
} // namespace

Server::Server(Store& store, ServerOptions options, std::function<void(const std::string&)> log,
               QObject* parent)
    : QObject(parent), m_store(store), m_options(std::move(options)), m_log(std::move(log)),
      m_refusals(m_options.refusalLogPeriod, m_log) {
    m_acceptPause.setSingleShot(true);
    connect(&m_acceptPause, &QTimer::timeout, this, [this] {
        if (m_acceptNotifier) m_acceptNotifier->setEnabled(true);
        onAcceptReady();
    });
}

Server::~Server() {
    // Unfinished connections end with a reset as they go.
    const std::map<Connection*, std::string> open = std::move(m_connections);
    m_connections.clear();
    for (const auto& [connection, host] : open)
        delete connection;
    m_acceptNotifier.reset();
    if (m_listenFd >= 0) ::close(m_listenFd);
}

bool Server::listen(std::string& error) {
    sockaddr_storage address{};
    socklen_t length = 0;
    bool ok = false;
    if (m_options.address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(m_options.port);
        const Q_IPV6ADDR bytes = m_options.address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof in6->sin6_addr);
        length = sizeof *in6;
        ok = true;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(m_options.port);
        in4->sin_addr.s_addr = htonl(m_options.address.toIPv4Address(&ok));
        length = sizeof *in4;
    }
    if (!ok) {
        error = "not an IP address";
        return false;
    }
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    m_port =
        ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    m_listenFd = fd;
    m_acceptNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_acceptNotifier.get(), &QSocketNotifier::activated, this, &Server::onAcceptReady);
    return true;
}

void Server::onAcceptReady() {
    for (int i = 0; i < kAcceptsPerWakeup && !m_acceptPause.isActive(); ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            pauseAccepting(errno);
            return;
        }
        if (m_acceptTroubleLogged) {
            m_acceptTroubleLogged = false;
            log("accepting connections again");
        }
        // From here until its answer is complete, closing the socket resets the connection.
        const linger abortive{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        if (m_connections.size() >= m_options.maxConnections) {
            const std::string kind =
                "connection limit of " + std::to_string(m_options.maxConnections) + " reached";
            logRefusal(kind, kind + ": refusing new connections with a reset");
            ::close(fd);
            continue;
        }
        char host[INET6_ADDRSTRLEN] = "?";
        std::uint16_t port = 0;
        if (peer.ss_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&peer);
            ::inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
            port = ntohs(in6->sin6_port);
        } else {
            const auto* in4 = reinterpret_cast<const sockaddr_in*>(&peer);
            ::inet_ntop(AF_INET, &in4->sin_addr, host, sizeof host);
            port = ntohs(in4->sin_port);
        }
        std::size_t& fromHost = m_perAddress[host];
        if (fromHost >= m_options.maxPerAddress) {
            const std::string kind = std::string(host) + ": connection limit of " +
                                     std::to_string(m_options.maxPerAddress) +
                                     " per address reached";
            logRefusal(kind, kind + ": refusing its new connections with a reset");
            ::close(fd);
            continue;
        }
        ++fromHost;
        m_connections.emplace(
            new Connection(*this, fd, std::string(host) + ":" + std::to_string(port)), host);
    }
}

void Server::pauseAccepting(int error) {
    if (!m_acceptTroubleLogged)
        log(std::string("cannot accept connections (") + std::strerror(error) +
            (shortOfResources(error) ? "): pausing" : "): retrying") + " every " +
            std::to_string(m_options.acceptPause.count()) + " ms");
    m_acceptTroubleLogged = true;
    m_acceptNotifier->setEnabled(false);
    m_acceptPause.start(m_options.acceptPause);
}

void Server::connectionEnded(Connection* connection) {
    const auto open = m_connections.find(connection);
    if (open == m_connections.end()) return;
    const auto fromHost = m_perAddress.find(open->second);
    if (--fromHost->second == 0) m_perAddress.erase(fromHost);
    m_connections.erase(open);
    connection->deleteLater();
}

std::optional<Answer> Server::refusal(const Request& request) const {
    const auto account = m_options.accounts.find(gw::toUpper(request.mboCall));
    if (account != m_options.accounts.end() && account->second == request.password)
        return std::nullopt;
    Answer refused = refuse("unknown node account or wrong password");
    if (request.command == 'R' || request.command == 'S') {
        refused.kind = Answer::Kind::Reply;
        refused.text = "Access denied for " + shown(request.mboCall) + "\r\n";
    }
    return refused;
}

Answer Server::databaseFailure(const Request& request, const std::string& why) {
    Answer failed = refuse("database error");
    failed.detail = ": " + shown(why, 200);
    if (request.command == 'R') {
        failed.kind = Answer::Kind::Reply;
        failed.text = "Server database error, try again later";
    }
    return failed;
}

Answer Server::answer(const Request& request) {
    try {
        const std::string user = gw::toUpper(request.userCall);
        switch (request.command) {
        case 'L': {
            std::string text;
            const std::vector<StoredMessage> waiting = m_store.waitingFor(user);
            for (const StoredMessage& message : waiting)
                text += listLine(message);
            return reply(std::move(text), std::to_string(waiting.size()) + " waiting");
        }
        case 'R': {
            const std::optional<StoredMessage> message = m_store.read(request.mid, user);
            if (!message) return reply("No such message: " + shown(request.mid), "no such message");
            return reply(readReply(*message), "read");
        }
        case 'K':
            if (!m_store.markDelivered(request.mid, user))
                return refuse("no such message for this user");
            return reply({}, "marked delivered");
        default:
            break;
        }
        StoredMessage message;
        message.mid = request.mid;
        message.to = nonEmpty(request.to);
        message.cc = nonEmpty(request.cc);
        // A send's refusals are answered, so that a node can tell them from a lost connection.
        if (message.to.empty()) return reply("No destination\r\n", "refused, no destination");
        const QDateTime date =
            QDateTime::fromString(QString::fromLatin1(request.date.c_str()), kStampFormat);
        message.originated = (date.isValid() ? date : QDateTime::currentDateTime())
                                 .toString(kStampFormat)
                                 .toStdString();
        message.sender = user;
        message.subject = oneLine(request.subject);
        message.body = request.body;
        if (!m_store.add(message))
            return reply("MID already stored: " + shown(message.mid) + "\r\n",
                         "refused, MID already stored");
        return reply({}, "stored for " + std::to_string(message.to.size() + message.cc.size()) +
                             " address(es)");
    } catch (const StoreError& failure) {
        if (failure.busy()) return {Answer::Kind::Busy, {}, failure.what(), {}};
        return databaseFailure(request, failure.what());
    }
}

} // namespace smsd
