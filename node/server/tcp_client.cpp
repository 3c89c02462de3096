// TcpClient: non-blocking POSIX socket driven by QSocketNotifier.
#include "server/tcp_client.h"

#include "common/node_error.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gw {
namespace {
const char* const kSource = "TcpClient";
constexpr std::size_t kReadChunk = 64 * 1024;
// Reads per wake-up: a fast sender cannot hold the event loop for long.
constexpr int kReadsPerWake = 16;

std::string errorText(int errnoValue) {
    return std::strerror(errnoValue);
}

void dispose(std::unique_ptr<QSocketNotifier>& notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    // Deleted later: this may run inside the notifier's own activation.
    notifier.release()->deleteLater();
}
} // namespace

int socketErrorNumber(int errnoValue) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
        return 10013;
    case EINVAL:
        return 10022;
    case EMFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ECONNABORTED:
    case EPIPE:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
        return 10055;
    case ENOTCONN:
        return 10057;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    default:
        return 10000 + errnoValue;
    }
}

TcpClient::TcpClient(QObject* parent) : QObject(parent) {}

TcpClient::~TcpClient() {
    close();
}

void TcpClient::open() {
    if (m_state != State::Closed)
        throw NodeError(kErrorInvalidState, kSource, "Invalid operation at current state");
    ++m_generation;
    m_bytesSent = 0;
    m_bytesReceived = 0;
    const QHostAddress literal(
        QString::fromLatin1(m_remoteHost.data(), static_cast<qsizetype>(m_remoteHost.size())));
    if (!literal.isNull()) {
        startConnect(literal);
        return;
    }
    m_state = State::Resolving;
    const std::uint64_t generation = m_generation;
    m_lookupId = QHostInfo::lookupHost(
        QString::fromLatin1(m_remoteHost.c_str()), this, [this, generation](const QHostInfo& info) {
            if (generation != m_generation || m_state != State::Resolving) return;
            m_lookupId = -1;
            m_state = State::Closed;
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                emit connected(11001, "Host not found");
                return;
            }
            startConnect(info.addresses().first());
        });
}

void TcpClient::startConnect(const QHostAddress& address) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* six = reinterpret_cast<sockaddr_in6*>(&storage);
        six->sin6_family = AF_INET6;
        six->sin6_port = htons(m_remotePort);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&six->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof *six;
    } else {
        auto* four = reinterpret_cast<sockaddr_in*>(&storage);
        four->sin_family = AF_INET;
        four->sin_port = htons(m_remotePort);
        four->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *four;
    }
    m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        const int error = errno;
        postConnectFailure(socketErrorNumber(error), errorText(error));
        return;
    }
    m_state = State::Connecting;
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Write);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &TcpClient::onWritable);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&storage), length) == 0) return;
    if (errno == EINPROGRESS) return;
    const int error = errno;
    closeSocket();
    postConnectFailure(socketErrorNumber(error), errorText(error));
}

void TcpClient::postConnectFailure(int status, std::string description) {
    const std::uint64_t generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, status, description = std::move(description)] {
            if (generation == m_generation && m_state == State::Closed)
                emit connected(status, description);
        },
        Qt::QueuedConnection);
}

void TcpClient::onWritable() {
    if (m_state == State::Connected) {
        // Woken because a blocked send may go on; the sender retries on its own.
        m_writeNotifier->setEnabled(false);
        return;
    }
    if (m_state != State::Connecting) return;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0) {
        closeSocket();
        emit connected(socketErrorNumber(error), errorText(error));
        return;
    }
    m_state = State::Connected;
    m_writeNotifier->setEnabled(false);
    m_readNotifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &TcpClient::onReadable);
    emit connected(0, "Connected");
}

void TcpClient::onReadable() {
    const std::uint64_t generation = m_generation;
    std::array<char, kReadChunk> buffer{};
    for (int i = 0; i < kReadsPerWake; ++i) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n > 0) {
            m_bytesReceived += static_cast<std::uint64_t>(n);
            emit dataIn(std::string(buffer.data(), static_cast<std::size_t>(n)));
            // The receiver may have closed (or reopened) the connection.
            if (generation != m_generation || m_state != State::Connected) return;
            continue;
        }
        if (n == 0) {
            closeSocket();
            emit disconnected(0, "OK");
            return;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        const int error = errno;
        closeSocket();
        emit errorOccurred(socketErrorNumber(error), errorText(error));
        return;
    }
}

void TcpClient::send(std::string_view text) {
    if (m_state != State::Connected)
        throw NodeError(kErrorNotConnected, kSource,
                        "Wrong protocol or connection state for the requested transaction");
    m_bytesSent = 0;
    if (text.empty()) return;
    const ssize_t n = ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(text.size())) {
        m_bytesSent = static_cast<long>(n);
        return;
    }
    if (n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
        m_bytesSent = n > 0 ? static_cast<long>(n) : 0;
        // Wake the event loop once the socket can take more.
        m_writeNotifier->setEnabled(true);
        throw NodeError(kErrorWouldBlock, kSource, "Operation would block");
    }
    const int error = errno;
    throw NodeError(socketErrorNumber(error) + kSendErrorOffset, kSource, errorText(error));
}

void TcpClient::close() {
    ++m_generation;
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    closeSocket();
}

void TcpClient::closeSocket() {
    dispose(m_readNotifier);
    dispose(m_writeNotifier);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_state = State::Closed;
}

std::string TcpClient::localAddress() const {
    if (m_fd >= 0) {
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0) {
            QHostAddress address(reinterpret_cast<const sockaddr*>(&storage));
            const bool unbound = address == QHostAddress(QHostAddress::AnyIPv4) ||
                                 address == QHostAddress(QHostAddress::AnyIPv6);
            if (!address.isNull() && !unbound) return address.toString().toStdString();
        }
    }
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString().toStdString();
    }
    return "127.0.0.1";
}

} // namespace gw
