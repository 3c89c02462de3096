// The no-echo terminal read and the one-line standard input read of a secret. Echo is off only
// inside ask(), and the stop signals are held and watched there, so no ^C, ^\ or ^Z leaves
// the terminal silent; the terminal's state is restored (and typed-ahead input dropped) on
// every way out.
#include "app/secret_prompt.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace gw {
namespace {
// A longer line cannot be an acceptable password; reading stops there.
constexpr std::size_t kLongestLine = 1024;
constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
} // namespace

SecretPrompt::SecretPrompt() {
    sigset_t cancel;
    sigemptyset(&cancel);
    for (const int signal : kCancelSignals)
        sigaddset(&cancel, signal);
    pthread_sigmask(SIG_BLOCK, &cancel, &m_heldBefore);
    m_signals = ::signalfd(-1, &cancel, SFD_CLOEXEC);
    if (::isatty(STDIN_FILENO)) m_tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

SecretPrompt::~SecretPrompt() {
    if (m_tty >= 0) ::close(m_tty);
    if (m_signals >= 0) ::close(m_signals);
    pthread_sigmask(SIG_SETMASK, &m_heldBefore, nullptr);
}

std::optional<std::string> SecretPrompt::ask(const std::string& prompt) {
    if (!::isatty(STDIN_FILENO)) return readLine(STDIN_FILENO);
    if (m_tty < 0) return std::nullopt;
    termios before{};
    if (::tcgetattr(m_tty, &before) != 0) return std::nullopt;
    termios silent = before;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    if (::tcsetattr(m_tty, TCSAFLUSH, &silent) != 0) return std::nullopt;
    [[maybe_unused]] ssize_t written = ::write(m_tty, prompt.data(), prompt.size());
    std::optional<std::string> line = readLine(m_tty);
    // The Enter the operator typed was not echoed either.
    written = ::write(m_tty, "\n", 1);
    ::tcsetattr(m_tty, TCSAFLUSH, &before);
    return line;
}

std::optional<std::string> SecretPrompt::readLine(int fd) {
    std::string line;
    bool ended = false;
    while (!ended && line.size() <= kLongestLine) {
        std::array<pollfd, 2> watched{{{fd, POLLIN, 0}, {m_signals, POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (watched[1].revents != 0) {
            signalfd_siginfo taken{};
            [[maybe_unused]] const ssize_t got = ::read(m_signals, &taken, sizeof taken);
            return std::nullopt;
        }
        char byte = 0;
        // One byte at a time: nothing after the line end is taken from a shared input.
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) {
            // The end of input: what came before it is the line, if anything did.
            if (line.empty()) return std::nullopt;
            break;
        }
        ended = byte == '\n';
        if (!ended) line += byte;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

} // namespace gw
