// The hidden window of a control.
#include "ping/socket_window.h"

#include <QEvent>

namespace ping {

SocketWindow::SocketWindow(Handler handler) : m_handler(std::move(handler)) {}

void SocketWindow::deliver(uint32_t message, int socket, uint32_t event) {
    m_handler(message, socket, event);
}

bool SocketWindow::event(QEvent* e) {
    if (e->type() == QEvent::Close) {
        m_closed = true;
        return true;
    }
    return QObject::event(e);
}

} // namespace ping
