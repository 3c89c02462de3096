// The hidden window of a control: where its socket notifications arrive, on the host's thread.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

namespace ping {

class SocketWindow : public QObject {
  public:
    using Handler = std::function<void(uint32_t message, int socket, uint32_t event)>;

    explicit SocketWindow(Handler handler);

    // Delivers a socket notification now (the library calls this from its notifier).
    void deliver(uint32_t message, int socket, uint32_t event);
    // A close request makes a waiting request stop, as closing the window would.
    bool closed() const { return m_closed; }

  protected:
    bool event(QEvent* e) override;

  private:
    Handler m_handler;
    bool m_closed = false;
};

} // namespace ping
