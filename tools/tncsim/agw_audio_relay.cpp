// The simulated audio channel between two direwolf stations on one machine: reads one
// station's transmit audio from stdin as fast as it comes and sends it to the other station's UDP
// port at real-time rate (44,100 16-bit mono samples a second), in datagrams it can decode.
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr std::size_t kDatagram = 882; // 10 ms of audio
constexpr std::size_t kBytesPerSecond = 88'200;
constexpr std::size_t kMaxQueued = 60 * kBytesPerSecond; // a minute of audio, then drop

std::mutex g_lock;
std::condition_variable g_ready;
std::deque<char> g_queue;
bool g_ended = false;

void readInput() {
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        std::lock_guard guard(g_lock);
        if (n <= 0) {
            g_ended = true;
            g_ready.notify_one();
            return;
        }
        if (g_queue.size() < kMaxQueued) g_queue.insert(g_queue.end(), buffer, buffer + n);
        g_ready.notify_one();
    }
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: audio_relay UDP_PORT < audio\n");
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::thread reader(readInput);
    reader.detach();

    using Clock = std::chrono::steady_clock;
    const auto slot = std::chrono::microseconds(1'000'000 * kDatagram / kBytesPerSecond);
    Clock::time_point next = Clock::now();
    std::string datagram;
    for (;;) {
        {
            std::unique_lock guard(g_lock);
            g_ready.wait(guard, [] { return !g_queue.empty() || g_ended; });
            if (g_queue.empty()) return 0;
            const std::size_t n = std::min(kDatagram, g_queue.size());
            datagram.assign(g_queue.begin(), g_queue.begin() + static_cast<long>(n));
            g_queue.erase(g_queue.begin(), g_queue.begin() + static_cast<long>(n));
        }
        // A pause in the audio restarts the pacing instead of sending a burst to catch up.
        const auto now = Clock::now();
        if (next < now) next = now;
        std::this_thread::sleep_until(next);
        ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
        next += slot * static_cast<long>(datagram.size()) / static_cast<long>(kDatagram);
    }
}
