// An HTTP/1.1 server with limits of its own, run on the node's event loop: libmicrohttpd in its
// external-loop mode, its epoll descriptor watched by a QSocketNotifier and its timeouts by a
// QTimer, no thread. A client gets a bounded share: so many connections in all and per address,
// a request (line, headers and body) of at most kMaxRequest bytes, refused before it is read
// whole, and a few seconds to send it; a silent or dribbling connection is closed. When all
// places are taken, a new connection takes the place of the one that has waited longest for
// its request, so clients that hold connections open cannot keep a real request out.
#pragma once

#include "common/clock.h"
#include "web/web_http.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

struct MHD_Daemon;
struct MHD_Connection;

namespace gw {

class HttpServer : public QObject {
  public:
    struct Limits {
        unsigned maxConnections = 64;
        unsigned maxPerAddress = 16;
        // A request must arrive whole within this from the connection's start (or the previous
        // answer); a connection silent this long is closed.
        std::chrono::seconds timeout{5};
    };
    // Request line, headers and body together.
    static constexpr std::size_t kMaxRequest = 64 * 1024;
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    // `clock` times the requests' deadlines.
    HttpServer(Limits limits, const Clock& clock, Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;

    // Listens on `address` and `port` (0: the system's choice); false with `problem` set when
    // it cannot.
    bool listen(const QHostAddress& address, std::uint16_t port, std::string& problem);
    std::uint16_t port() const { return m_port; }
    // Connections open now.
    unsigned connectionCount() const;

  private:
    struct Request;
    // libmicrohttpd's callbacks, which reach the members below.
    friend struct HttpServerCallbacks;
    // One step of the server: the sockets that are ready, the timeouts that are due.
    void run();
    // Arms the timer for the server's next timeout and the next deadline check.
    void schedule();
    // Closes the connections whose request is late.
    void closeLate();
    // Makes room for a new connection when every place is taken.
    void closeLongestWaiting();
    void close(MHD_Connection* connection);
    bool queue(MHD_Connection* connection, const HttpResponse& response);
    HttpResponse answer(MHD_Connection* connection, const char* method, const char* url,
                        Request& request);

    Limits m_limits;
    const Clock& m_clock;
    Handler m_handler;
    MHD_Daemon* m_daemon = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
    std::uint16_t m_port = 0;
    bool m_running = false;
    // Open connections, and by when each must have sent its request whole (kNoDeadline while
    // its answer goes out); those being closed are in m_closing too.
    std::unordered_map<MHD_Connection*, std::chrono::milliseconds> m_deadlines;
    std::unordered_set<MHD_Connection*> m_closing;
    // The most connections open at once during the present (or last) run.
    std::size_t m_mostOpen = 0;
};

} // namespace gw
