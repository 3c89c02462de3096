// smsd's connections: collect one request, answer it, close (or reset on a refusal).
#include "server.h"

#include "common/text.h"
#include "wire.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

namespace smsd {
namespace {
const QString kStampFormat = QStringLiteral("yyyy/MM/dd HH:mm");

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

// One client connection; deletes itself when done.
class Connection : public QObject {
  public:
    Connection(Server& server, QTcpSocket* socket)
        : QObject(&server), m_server(server), m_socket(socket) {
        m_socket->setParent(this);
        m_peer = m_socket->peerAddress().toString().toStdString() + ":" +
                 std::to_string(m_socket->peerPort());
        connect(m_socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, [this] { refuse("?", "timed out"); });
        m_idle.start(m_server.options().idleTimeout);
    }

  private:
    void onReadyRead() {
        if (m_done) {
            m_socket->readAll();
            return;
        }
        const QByteArray bytes = m_socket->readAll();
        m_received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        if (m_received.size() > m_server.options().maxRequest) {
            refuse("?", "request too large");
            return;
        }
        const ParseResult parsed = parseRequest(m_received);
        if (parsed.status == ParseResult::Status::Incomplete) return;
        if (parsed.status == ParseResult::Status::Malformed) {
            refuse("?", "malformed request (" + parsed.problem + ")");
            return;
        }
        const Request& request = parsed.request;
        std::string what =
            std::string(1, request.command) + " " + request.mboCall + " " + request.userCall;
        if (!request.mid.empty()) what += " " + request.mid;
        std::string outcome;
        const std::optional<std::string> reply = m_server.answer(request, outcome);
        if (!reply) {
            refuse(what, outcome);
            return;
        }
        m_done = true;
        m_idle.stop();
        m_server.log(m_peer + " " + what + ": " + outcome);
        m_socket->write(reply->data(), static_cast<qint64>(reply->size()));
        m_socket->disconnectFromHost();
    }

    // Aborts with a reset so that the node reads the refusal as a failure.
    void refuse(const std::string& what, const std::string& why) {
        if (m_done) return;
        m_done = true;
        m_idle.stop();
        m_server.log(m_peer + " " + what + ": refused, " + why);
        const linger hard{1, 0};
        ::setsockopt(static_cast<int>(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                     sizeof hard);
        m_socket->abort();
        deleteLater();
    }

    Server& m_server;
    QTcpSocket* m_socket;
    std::string m_peer;
    std::string m_received;
    QTimer m_idle;
    bool m_done = false;
};
} // namespace

Server::Server(Store& store, ServerOptions options, std::function<void(const std::string&)> log,
               QObject* parent)
    : QObject(parent), m_store(store), m_options(std::move(options)), m_log(std::move(log)) {
    connect(&m_server, &QTcpServer::newConnection, this, &Server::onNewConnection);
}

bool Server::listen(std::string& error) {
    if (m_server.listen(m_options.address, m_options.port)) return true;
    error = m_server.errorString().toStdString();
    return false;
}

void Server::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new Connection(*this, socket);
}

bool Server::authorised(const Request& request) const {
    const auto account = m_options.accounts.find(gw::toUpper(request.mboCall));
    return account != m_options.accounts.end() && account->second == request.password;
}

std::optional<std::string> Server::answer(const Request& request, std::string& outcome) {
    if (!authorised(request)) {
        outcome = "unknown node account or wrong password";
        if (request.command != 'R') return std::nullopt;
        return "Access denied for " + request.mboCall;
    }
    const std::string user = gw::toUpper(request.userCall);
    switch (request.command) {
    case 'L': {
        std::string text;
        const std::vector<StoredMessage> waiting = m_store.waitingFor(user);
        for (const StoredMessage& message : waiting)
            text += listLine(message);
        outcome = std::to_string(waiting.size()) + " waiting";
        return text;
    }
    case 'R': {
        const std::optional<StoredMessage> message = m_store.read(request.mid, user);
        if (!message) {
            outcome = "no such message";
            return "No such message: " + request.mid;
        }
        outcome = "read";
        return readReply(*message);
    }
    case 'K':
        if (!m_store.markDelivered(request.mid, user)) {
            outcome = "no such message for this user";
            return std::nullopt;
        }
        outcome = "marked delivered";
        return std::string();
    default:
        break;
    }
    StoredMessage message;
    message.mid = request.mid;
    message.to = nonEmpty(request.to);
    message.cc = nonEmpty(request.cc);
    if (message.to.empty()) {
        outcome = "no destination";
        return std::nullopt;
    }
    const QDateTime date =
        QDateTime::fromString(QString::fromLatin1(request.date.c_str()), kStampFormat);
    message.originated =
        (date.isValid() ? date : QDateTime::currentDateTime()).toString(kStampFormat).toStdString();
    message.sender = user;
    message.subject = oneLine(request.subject);
    message.body = request.body;
    if (!m_store.add(message)) {
        outcome = "MID already stored";
        return std::nullopt;
    }
    outcome =
        "stored for " + std::to_string(message.to.size() + message.cc.size()) + " address(es)";
    return std::string();
}

} // namespace smsd
