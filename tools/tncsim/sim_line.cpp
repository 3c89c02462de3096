// The pseudo-terminal line and its answer scheduling.
#include "sim_line.h"

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tncsim {

SimLine::SimLine(Behaviour behaviour) : m_behaviour(behaviour) {}

SimLine::~SimLine() {
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

bool SimLine::open() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) return false;
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_slaveName = name;
    return true;
}

void SimLine::send(std::string_view text) {
    if (m_behaviour.off || text.empty()) return;
    std::string out;
    // Noise that can neither open a frame nor look like a prompt.
    std::uniform_int_distribution<int> noise(0x80, 0xBF);
    for (int i = 0; i < m_behaviour.garbage; ++i)
        out += static_cast<char>(noise(m_random));
    // Noise as a bad line brings it: frame ends and escapes, line ends, link-message stars.
    static constexpr std::string_view kFramingNoise = "\xC0\xDB\xDC\xDD\r\n* \x80\xBF";
    std::uniform_int_distribution<std::size_t> pick(0, kFramingNoise.size() - 1);
    for (int i = 0; i < m_behaviour.noise; ++i)
        out += kFramingNoise[pick(m_random)];
    out.append(text);
    m_out.emplace_back(Clock::now() + m_behaviour.delay, std::move(out));
}

bool SimLine::receive(std::string& out) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        // EIO: no slave opener at the moment; our own slave descriptor prevents this.
        return n < 0 && errno == EIO;
    }
}

std::chrono::milliseconds SimLine::flush() {
    using namespace std::chrono;
    constexpr milliseconds idle{1000};
    while (!m_out.empty()) {
        const auto now = Clock::now();
        auto& [due, text] = m_out.front();
        if (due > now) return duration_cast<milliseconds>(due - now) + milliseconds(1);
        std::size_t count = text.size();
        if (m_behaviour.speed > 0) {
            // Ten bits a character: send what the line could have carried since the last byte.
            if (m_nextByte < now - milliseconds(100)) m_nextByte = now - milliseconds(100);
            const auto perByte = microseconds(10'000'000 / m_behaviour.speed);
            count = std::min<std::size_t>(count,
                                          static_cast<std::size_t>((now - m_nextByte) / perByte));
            if (count == 0) return duration_cast<milliseconds>(perByte) + milliseconds(1);
            m_nextByte += perByte * static_cast<long>(count);
        }
        const ssize_t n = ::write(m_master, text.data(), count);
        if (n <= 0) return milliseconds(10);
        text.erase(0, static_cast<std::size_t>(n));
        if (text.empty()) m_out.pop_front();
    }
    return idle;
}

} // namespace tncsim
