// One client connection: reading the request, answering, and closing normally or with a reset.
#include "connection.h"

#include "log_text.h"
#include "server.h"

#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace smsd {
namespace {
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::chrono::milliseconds kBusyRetry{50};
// How often a finished connection looks whether the client has taken the whole answer.
constexpr std::chrono::milliseconds kDrainCheck{50};
} // namespace

Connection::Connection(Server& server, int fd, std::string peer)
    : m_server(server), m_fd(fd), m_peer(std::move(peer)),
      m_reader(server.options().maxRequestLine, server.options().maxRequest),
      m_readNotifier(fd, QSocketNotifier::Read), m_writeNotifier(fd, QSocketNotifier::Write) {
    m_writeNotifier.setEnabled(false);
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &Connection::onReadable);
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, &Connection::onWritable);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &Connection::onIdleTimeout);
    m_idle.start(server.options().idleTimeout);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Answering)
            answerRequest();
        else if (m_phase == Phase::Draining)
            drain();
    });
}

Connection::~Connection() {
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    if (m_fd >= 0) ::close(m_fd);
}

std::string Connection::what() const {
    if (!m_reader.headerRead()) return "?";
    const Request& request = m_reader.request();
    std::string text = std::string(1, request.command) + " " + shown(request.mboCall) + " " +
                       shown(request.userCall);
    if (!request.mid.empty()) text += " " + shown(request.mid);
    return text;
}

void Connection::onReadable() {
    char buffer[kReadChunk];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (m_phase != Phase::Reading) {
        // Bytes after the request are not read as anything.
        if (n > 0) return;
        if (m_phase == Phase::Draining) return end();
        // The client stopped sending: it may still read the answer.
        if (n == 0) return m_readNotifier.setEnabled(false);
        return end("client gone before the answer was sent");
    }
    if (n <= 0) {
        return end("cut short by the client after " + std::to_string(m_reader.received()) +
                   " byte(s)" + (n < 0 ? " (connection reset)" : ""));
    }
    const bool headerBefore = m_reader.headerRead();
    const RequestReader::State state = m_reader.feed(std::string_view(buffer, std::size_t(n)));
    if (state == RequestReader::State::Malformed)
        return refuse("malformed request", " (" + m_reader.problem() + ")");
    if (!headerBefore && m_reader.headerRead()) {
        // The account is checked before a message body is read.
        if (const std::optional<Answer> refused = m_server.refusal(m_reader.request())) {
            if (refused->kind != Answer::Kind::Reply) return refuse(refused->outcome);
            logRefusal(refused->outcome);
            return send(refused->text);
        }
    }
    if (state != RequestReader::State::Complete) return;
    m_phase = Phase::Answering;
    m_firstTry = std::chrono::steady_clock::now();
    answerRequest();
}

void Connection::answerRequest() {
    Answer answer = m_server.answer(m_reader.request());
    if (answer.kind == Answer::Kind::Busy) {
        if (std::chrono::steady_clock::now() - m_firstTry < m_server.options().busyTimeout) {
            m_retry.start(kBusyRetry);
            return;
        }
        answer = Server::databaseFailure(m_reader.request(), "locked (" + answer.outcome + ")");
    }
    if (answer.kind == Answer::Kind::Refuse) return refuse(answer.outcome, answer.detail);
    m_server.log(m_peer + " " + what() + ": " + answer.outcome + answer.detail);
    if (m_reader.request().command == 'S' && answer.outcome.starts_with("stored") &&
        m_server.loseAnswer())
        return end("answer lost on purpose (--lose-answers)");
    send(std::move(answer.text));
}

void Connection::send(std::string reply) {
    m_phase = Phase::Writing;
    m_out = std::move(reply);
    m_sent = 0;
    writeOut();
}

void Connection::onWritable() {
    if (m_phase == Phase::Writing) writeOut();
}

void Connection::writeOut() {
    while (m_sent < m_out.size()) {
        const ssize_t n = ::send(m_fd, m_out.data() + m_sent, m_out.size() - m_sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                m_writeNotifier.setEnabled(true);
                return;
            }
            return end("client gone before the answer was sent");
        }
        m_sent += std::size_t(n);
    }
    m_writeNotifier.setEnabled(false);
    std::string().swap(m_out);
    // The whole answer is with the system now: from here a close is a normal one, and the
    // system delivers the rest even if this process stops.
    const linger graceful{0, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &graceful, sizeof graceful);
    m_released = true;
    ::shutdown(m_fd, SHUT_WR);
    m_phase = Phase::Draining;
    drain();
}

// Waits (within the idle timeout) until the client has taken the whole answer or closed.
void Connection::drain() {
    int unacknowledged = 0;
    if (::ioctl(m_fd, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged == 0) return end();
    m_readNotifier.setEnabled(true);
    m_retry.start(kDrainCheck);
}

void Connection::onIdleTimeout() {
    if (m_phase == Phase::Draining) {
        m_released = false;
        return end("timed out before the client read the answer");
    }
    end("timed out");
}

void Connection::logRefusal(const std::string& kind, const std::string& detail) {
    m_server.logRefusal("refused, " + kind, m_peer + " " + what() + ": refused, " + kind + detail);
}

void Connection::refuse(const std::string& kind, const std::string& detail) {
    logRefusal(kind, detail);
    end();
}

void Connection::end(const std::string& why) {
    if (m_phase == Phase::Ended) return;
    m_phase = Phase::Ended;
    m_idle.stop();
    m_retry.stop();
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    if (!why.empty()) m_server.log(m_peer + " " + what() + ": " + why);
    if (!m_released) {
        const linger abortive{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    ::close(m_fd);
    m_fd = -1;
    m_server.connectionEnded(this);
}

} // namespace smsd
