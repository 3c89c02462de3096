// frmBrevane: the request queue, one connection per request, the response timeout and the
// completion that turns every outcome into exactly one reply.
#include "server/frm_brevane.h"

#include "common/node_error.h"
#include "server/server_link_texts.h"

namespace gw {

frmBrevane::frmBrevane(ServerQueues& queues, ServerLinkHost& host, EventPump& pump, QObject* parent)
    : frmBrevane(queues, host, pump, Options{}, parent) {}

frmBrevane::frmBrevane(ServerQueues& queues, ServerLinkHost& host, EventPump& pump, Options options,
                       QObject* parent)
    : QObject(parent), m_queues(queues), m_host(host), m_pump(pump), m_options(options) {
    setObjectName(QStringLiteral("frmBrevane"));
    m_tcp.setObjectName(QStringLiteral("tcp"));
    tmr.setObjectName(QStringLiteral("tmr"));
    tmr.setInterval(1000);
    connect(&tmr, &QTimer::timeout, this, &frmBrevane::tick);
    connect(&m_tcp, &TcpClient::connected, this, &frmBrevane::tcp_Connected);
    connect(&m_tcp, &TcpClient::dataIn, this, &frmBrevane::tcp_DataIn);
    connect(&m_tcp, &TcpClient::disconnected, this, &frmBrevane::tcp_Disconnected);
    connect(&m_tcp, &TcpClient::errorOccurred, this, &frmBrevane::tcp_Error);
}

frmBrevane::~frmBrevane() {
    Unload();
}

void frmBrevane::Load() {
    if (m_loaded) return;
    m_tcp.setRemoteHost(m_host.serverAddress());
    m_tcp.setRemotePort(m_options.port);
    if (m_options.runTimer) tmr.start();
    m_loaded = true;
}

void frmBrevane::Unload() {
    if (!m_loaded) return;
    tmr.stop();
    if (m_busy) complete(kLinkClosedText);
    m_tcp.close();
    m_loaded = false;
}

void frmBrevane::tick() {
    ++m_tickCount;
    if (m_busy) {
        if (m_tickCount - m_startTick > kResponseTicks) complete(kTimeoutText);
        return;
    }
    if (m_queues.CommandQueue.Count() == 0) return;

    m_request = m_queues.CommandQueue.RemoveFirst();
    m_reply = std::make_unique<CResponse>();
    m_reply->Session = m_request->Session;
    m_reply->Command = m_request->Command;
    m_reply->Mid = m_request->Mid;
    m_busy = true;
    m_startTick = m_tickCount;
    ++m_requestSerial;

    if (m_request->CommandToServer().empty()) {
        complete(kCommandErrorText);
        return;
    }
    try {
        m_tcp.open();
    } catch (const NodeError& error) {
        complete(error.description());
    }
}

void frmBrevane::tcp_Connected(int status, const std::string& description) {
    m_host.setServerIndicator(ServerIndicator::Connected);
    if (status != 0) {
        complete(description);
        m_tcp.close();
        return;
    }
    if (!m_reply) {
        m_tcp.close();
        return;
    }
    sendRequest();
}

void frmBrevane::sendRequest() {
    const std::uint64_t serial = m_requestSerial;
    std::string text = m_request->CommandToServer();
    while (true) {
        try {
            m_tcp.send(text);
            return;
        } catch (const NodeError& error) {
            if (error.number() != TcpClient::kErrorWouldBlock) {
                // The send's own text: the connected event only said the connection opened.
                complete(error.description());
                return;
            }
            const auto taken = static_cast<std::size_t>(std::max(0L, m_tcp.bytesSent()));
            text.erase(0, taken);
            m_pump.pump(kWaitSlice);
            // Events run meanwhile may have ended this request (timeout, reset, unload).
            if (serial != m_requestSerial || !m_reply || !m_tcp.isConnected()) return;
        }
    }
}

void frmBrevane::tcp_DataIn(const std::string& text) {
    // Text after a completion belongs to no request and must not reach the next one.
    if (!m_reply) return;
    if (m_reply->replySize() + text.size() > kMaxReplySize) {
        complete(kReplyTooLargeText);
        return;
    }
    m_reply->Response(text);
}

void frmBrevane::tcp_Disconnected(int, const std::string& description) {
    complete(description);
    m_host.setServerIndicator(ServerIndicator::Closed);
}

void frmBrevane::tcp_Error(int, const std::string& description) {
    complete(description);
    m_host.setServerIndicator(ServerIndicator::Closed);
}

void frmBrevane::complete(const std::string& text) {
    if (m_reply) {
        std::unique_ptr<CResponse> reply = std::move(m_reply);
        m_request.reset();
        reply->Error = text;
        reply->ResponseComplete();
        m_queues.ReplyQueue.Add(std::move(reply));
        m_tcp.close();
    }
    m_busy = false;
}

} // namespace gw
