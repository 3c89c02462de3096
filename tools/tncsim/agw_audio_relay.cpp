// The simulated audio channel between two direwolf stations: one station's transmit audio from
// stdin to the other's UDP port at real-time rate in 10 ms datagrams, silence between
// transmissions, and a seeded share of audio pieces lost.
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr std::size_t kDatagram = 882; // 10 ms of audio
constexpr std::size_t kBytesPerSecond = 88'200;
constexpr std::size_t kMaxQueued = 60 * kBytesPerSecond; // a minute of audio, then drop

std::mutex g_lock;
std::deque<char> g_queue;
bool g_ended = false;

void readInput() {
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        std::lock_guard guard(g_lock);
        if (n <= 0) {
            g_ended = true;
            return;
        }
        if (g_queue.size() < kMaxQueued) g_queue.insert(g_queue.end(), buffer, buffer + n);
    }
}

int usage() {
    std::fprintf(stderr, "usage: agw_audio_relay [--drop PCT] [--seed N] UDP_PORT < audio\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    double dropPercent = 0;
    unsigned long seed = 1;
    long port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        char* end = nullptr;
        if ((arg == "--drop" || arg == "--seed") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "--drop")
                dropPercent = std::strtod(value, &end);
            else
                seed = std::strtoul(value, &end, 10);
            if (end == value || *end != '\0' || !(dropPercent >= 0 && dropPercent <= 100))
                return usage();
        } else {
            port = std::strtol(argv[i], &end, 10);
            if (end == argv[i] || *end != '\0' || port <= 0 || port > 65535) return usage();
        }
    }
    if (port == 0) return usage();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::thread reader(readInput);
    reader.detach();
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    const auto dropShare = static_cast<unsigned>(dropPercent * 100 + 0.5); // of 10,000

    using Clock = std::chrono::steady_clock;
    const auto slot = std::chrono::microseconds(1'000'000 * kDatagram / kBytesPerSecond);
    Clock::time_point next = Clock::now();
    std::string datagram;
    for (;;) {
        bool audio = false;
        {
            std::lock_guard guard(g_lock);
            if (g_ended && g_queue.empty()) return 0;
            const std::size_t n = std::min(kDatagram, g_queue.size());
            audio = n > 0;
            datagram.assign(g_queue.begin(), g_queue.begin() + static_cast<long>(n));
            g_queue.erase(g_queue.begin(), g_queue.begin() + static_cast<long>(n));
        }
        // Between transmissions the receiver hears silence, or its carrier detect stays up.
        if (!audio) datagram.assign(kDatagram, '\0');
        // Fallen far behind (the machine was busy): go on from now instead of a burst.
        if (next < Clock::now() - 5 * slot) next = Clock::now();
        std::this_thread::sleep_until(next);
        const bool lost = audio && random() % 10'000 < dropShare;
        if (!lost)
            ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to);
        next += slot * static_cast<long>(datagram.size()) / static_cast<long>(kDatagram);
    }
}
