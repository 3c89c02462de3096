// TcpClient: one outgoing TCP connection over a non-blocking socket watched by the Qt event
// loop. It tells a normal close by the server ("OK") from a reset (the system's text),
// which the server link relies on to tell success from failure.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QHostAddress;

namespace gw {

class TcpClient : public QObject {
    Q_OBJECT
  public:
    // Error numbers raised by send(): the socket error plus this offset; a partial send
    // is the would-block error 10035 and so 25036.
    static constexpr long kSendErrorOffset = 15001;
    static constexpr long kErrorWouldBlock = 25036;
    // Raised by open() when a connection is already open or being made.
    static constexpr long kErrorInvalidState = 40020;
    // Raised by send() without an open connection.
    static constexpr long kErrorNotConnected = 40006;

    enum class State { Closed, Resolving, Connecting, Connected };

    explicit TcpClient(QObject* parent = nullptr);
    ~TcpClient() override;

    void setRemoteHost(std::string host) { m_remoteHost = std::move(host); }
    void setRemotePort(std::uint16_t port) { m_remotePort = port; }

    // Starts connecting to the remote host and port; the outcome arrives as connected().
    // Throws NodeError when a connection is already open or being made.
    void open();
    // Closes the connection, if any, without raising an event; pending events are dropped.
    void close();

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }

    // Sends the text. When the socket takes only part of it, throws NodeError 25036 and
    // bytesSent() tells how many characters were taken; other failures throw the socket
    // error + 15001.
    void send(std::string_view text);
    long bytesSent() const { return m_bytesSent; }
    // Characters received on the current (or last) connection.
    std::uint64_t bytesReceived() const { return m_bytesReceived; }

    // The local address of the open connection, else this machine's first non-loopback
    // IPv4 address ("127.0.0.1" when it has none).
    std::string localAddress() const;

  signals:
    // Status 0: the connection is open; otherwise a socket error number and its text.
    void connected(int status, const std::string& description);
    // Received text, every piece once and in order.
    void dataIn(const std::string& text);
    // The server closed the connection normally: status 0 and "OK".
    void disconnected(int status, const std::string& description);
    // The connection failed (a reset, say); the connection is closed afterwards.
    void errorOccurred(int number, const std::string& description);

  private:
    void startConnect(const QHostAddress& address);
    void onWritable();
    void onReadable();
    void closeSocket();
    // Raises connected() with a failure from the event loop, unless the client moved on.
    void postConnectFailure(int status, std::string description);

    std::string m_remoteHost;
    std::uint16_t m_remotePort = 0;
    State m_state = State::Closed;
    int m_fd = -1;
    int m_lookupId = -1;
    // Bumped by every open and close, so that late events of an older connection are dropped.
    std::uint64_t m_generation = 0;
    long m_bytesSent = 0;
    std::uint64_t m_bytesReceived = 0;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
};

// The socket error number (Winsock numbering) for an errno value.
int socketErrorNumber(int errnoValue);

} // namespace gw
