// The web page's HTTP server: libmicrohttpd on the node's event loop, with the limits it gives
// (connections in all and per address, memory per connection, a silent connection's timeout)
// and the two it does not: a request's body bound and a deadline for the whole request.
#include "web/http_server.h"

#include <microhttpd.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <exception>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <vector>

namespace gw {

struct HttpServer::Request {
    // Request line, headers and body so far, as counted against kMaxRequest.
    std::size_t size = 0;
    QByteArray body;
};

namespace {
using Millis = std::chrono::milliseconds;
constexpr Millis kNoDeadline = Millis::max();
// How often connections are checked for a late request while any is open.
constexpr Millis kCheckEvery{250};

MHD_Result countBytes(void* total, MHD_ValueKind, const char* key, const char* value) {
    *static_cast<std::size_t*>(total) += std::strlen(key) + (value ? std::strlen(value) : 0) + 4;
    return MHD_YES;
}

MHD_Result collect(void* pairs, MHD_ValueKind, const char* key, const char* value) {
    static_cast<HttpHeaders*>(pairs)->append({QByteArray(key), QByteArray(value ? value : "")});
    return MHD_YES;
}

// A decimal Content-Length, or none when it is not one (libmicrohttpd refuses those itself).
std::optional<unsigned long long> announcedLength(MHD_Connection* connection) {
    const char* text =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (text == nullptr) return std::nullopt;
    bool ok = false;
    const unsigned long long length = QByteArray(text).trimmed().toULongLong(&ok);
    return ok ? std::optional(length) : std::nullopt;
}

QHostAddress localAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (info == nullptr ||
        ::getsockname(info->connect_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&address));
}
} // namespace

struct HttpServerCallbacks {
    static MHD_Result access(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* uploadData,
                             std::size_t* uploadSize, void** context) {
        auto* self = static_cast<HttpServer*>(cls);
        auto* request = static_cast<HttpServer::Request*>(*context);
        if (request == nullptr) {
            // The headers are in: an announced body that cannot fit is refused unread. The
            // request's state belongs to the connection's context until `completed`.
            request = new HttpServer::Request;
            *context = request;
            request->size = std::strlen(method) + std::strlen(url) + std::strlen(version) + 4;
            MHD_get_connection_values(
                connection, static_cast<MHD_ValueKind>(MHD_HEADER_KIND | MHD_GET_ARGUMENT_KIND),
                countBytes, &request->size);
            const std::optional<unsigned long long> length = announcedLength(connection);
            if (request->size > HttpServer::kMaxRequest ||
                (length && *length > HttpServer::kMaxRequest - request->size))
                return self->queue(connection, jsonError(HttpStatus::PayloadTooLarge,
                                                         "The request is too long."))
                           ? MHD_YES
                           : MHD_NO;
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            // A body of no announced length (chunked) that grows too long: the connection
            // closes here, before the rest is read.
            if (request->body.size() + *uploadSize > HttpServer::kMaxRequest - request->size)
                return MHD_NO;
            request->body.append(uploadData, static_cast<qsizetype>(*uploadSize));
            *uploadSize = 0;
            return MHD_YES;
        }
        return self->queue(connection, self->answer(connection, method, url, *request)) ? MHD_YES
                                                                                        : MHD_NO;
    }

    static void completed(void* cls, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode why) {
        auto* self = static_cast<HttpServer*>(cls);
        delete static_cast<HttpServer::Request*>(*context);
        *context = nullptr;
        // A kept-alive connection owes its next request within the same time.
        const auto open = self->m_deadlines.find(connection);
        if (why == MHD_REQUEST_TERMINATED_COMPLETED_OK && open != self->m_deadlines.end())
            open->second = self->m_clock.elapsed() + self->m_limits.timeout;
    }

    static void notify(void* cls, MHD_Connection* connection, void**,
                       MHD_ConnectionNotificationCode what) {
        auto* self = static_cast<HttpServer*>(cls);
        if (what == MHD_CONNECTION_NOTIFY_STARTED) {
            self->m_deadlines[connection] = self->m_clock.elapsed() + self->m_limits.timeout;
            self->m_mostOpen = std::max(self->m_mostOpen, self->m_deadlines.size());
            self->closeLongestWaiting();
        } else {
            self->m_deadlines.erase(connection);
            self->m_closing.erase(connection);
        }
    }
};

HttpServer::HttpServer(Limits limits, const Clock& clock, Handler handler, QObject* parent)
    : QObject(parent), m_limits(limits), m_clock(clock), m_handler(std::move(handler)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        closeLate();
        run();
    });
}

HttpServer::~HttpServer() {
    m_timer.stop();
    m_notifier.reset();
    if (m_daemon != nullptr) MHD_stop_daemon(m_daemon);
}

bool HttpServer::listen(const QHostAddress& address, std::uint16_t port, std::string& problem) {
    sockaddr_storage storage{};
    unsigned flags = MHD_USE_EPOLL;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        flags |= MHD_USE_IPv6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
    }
    errno = 0;
    m_daemon = MHD_start_daemon(
        flags, port, nullptr, nullptr, &HttpServerCallbacks::access, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr*>(&storage), MHD_OPTION_CONNECTION_LIMIT,
        m_limits.maxConnections + 1, MHD_OPTION_PER_IP_CONNECTION_LIMIT, m_limits.maxPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(m_limits.timeout.count()),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(kMaxRequest),
        MHD_OPTION_NOTIFY_COMPLETED, &HttpServerCallbacks::completed, this,
        MHD_OPTION_NOTIFY_CONNECTION, &HttpServerCallbacks::notify, this, MHD_OPTION_END);
    if (m_daemon == nullptr) {
        const int error = errno;
        problem = "cannot listen on " + address.toString().toStdString() + " port " +
                  std::to_string(port) +
                  (error != 0 ? ": " + std::string(std::strerror(error)) : "");
        return false;
    }
    m_port = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
    const int epoll = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd;
    m_notifier = std::make_unique<QSocketNotifier>(epoll, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &HttpServer::run);
    schedule();
    return true;
}

unsigned HttpServer::connectionCount() const {
    return static_cast<unsigned>(m_deadlines.size() - m_closing.size());
}

void HttpServer::run() {
    // libmicrohttpd is not re-entrant: a handler that lets events through does not run it again.
    if (m_daemon == nullptr || m_running) return;
    m_running = true;
    m_notifier->setEnabled(false);
    m_mostOpen = m_deadlines.size();
    MHD_run(m_daemon);
    m_notifier->setEnabled(true);
    m_running = false;
    schedule();
    // At its limit libmicrohttpd stops watching the listening socket, and it watches it again
    // only at its next run: one that freed a place must be followed by another at once.
    if (m_mostOpen > m_limits.maxConnections && m_deadlines.size() <= m_limits.maxConnections)
        m_timer.start(0);
}

void HttpServer::schedule() {
    Millis next = kNoDeadline;
    MHD_UNSIGNED_LONG_LONG timeout = 0;
    if (MHD_get_timeout(m_daemon, &timeout) == MHD_YES)
        next = Millis(std::min<MHD_UNSIGNED_LONG_LONG>(timeout, 60'000));
    if (!m_deadlines.empty()) next = std::min(next, kCheckEvery);
    if (next == kNoDeadline)
        m_timer.stop();
    else
        m_timer.start(next);
}

void HttpServer::closeLate() {
    const Millis now = m_clock.elapsed();
    std::vector<MHD_Connection*> late;
    for (const auto& [connection, deadline] : m_deadlines)
        if (deadline <= now) late.push_back(connection);
    for (MHD_Connection* connection : late)
        close(connection);
}

void HttpServer::closeLongestWaiting() {
    // libmicrohttpd takes one connection beyond the limit, so that this one can choose.
    if (m_deadlines.size() - m_closing.size() <= m_limits.maxConnections) return;
    MHD_Connection* oldest = nullptr;
    Millis earliest = kNoDeadline;
    for (const auto& [connection, deadline] : m_deadlines)
        if (deadline < earliest && !m_closing.contains(connection)) {
            oldest = connection;
            earliest = deadline;
        }
    if (oldest != nullptr) close(oldest);
}

void HttpServer::close(MHD_Connection* connection) {
    if (!m_closing.insert(connection).second) return;
    m_deadlines[connection] = kNoDeadline;
    // Shut, not closed: libmicrohttpd sees the end, closes the socket and forgets it.
    if (const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        ::shutdown(info->connect_fd, SHUT_RDWR);
}

HttpResponse HttpServer::answer(MHD_Connection* connection, const char* method, const char* url,
                                Request& request) {
    HttpRequest http;
    http.method = method;
    http.path = url;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collect, &http.headers);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collect, &http.query);
    http.body = std::move(request.body);
    if (const MHD_ConnectionInfo* client =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        http.peer = QHostAddress(client->client_addr);
    http.local = localAddress(connection);
    // Nothing may unwind through libmicrohttpd's C frames.
    try {
        return m_handler(http);
    } catch (const std::exception&) {
        return jsonError(HttpStatus::InternalError, "The node could not answer this request.");
    }
}

bool HttpServer::queue(MHD_Connection* connection, const HttpResponse& response) {
    MHD_Response* answer = MHD_create_response_from_buffer(
        static_cast<std::size_t>(response.body.size()), const_cast<char*>(response.body.data()),
        MHD_RESPMEM_MUST_COPY);
    if (answer == nullptr) return false;
    if (!response.type.isEmpty())
        MHD_add_response_header(answer, MHD_HTTP_HEADER_CONTENT_TYPE, response.type.constData());
    for (const auto& [name, value] : response.headers)
        MHD_add_response_header(answer, name.constData(), value.constData());
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), answer);
    MHD_destroy_response(answer);
    // The request is in: from here the connection's silence alone is timed.
    if (const auto open = m_deadlines.find(connection); open != m_deadlines.end())
        open->second = kNoDeadline;
    return queued == MHD_YES;
}

} // namespace gw
