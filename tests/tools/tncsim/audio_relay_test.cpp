// The audio relay between two direwolf stations, run as the ALSA file plugin runs it: audio on
// stdin, datagrams to a UDP port of ours. A quiet channel must still sound (silence at the
// real-time rate), and its losses must follow the seed.
#include <QProcess>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
class Relay {
  public:
    explicit Relay(QStringList options) {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        process.start(QStringLiteral(AUDIO_RELAY_PATH),
                      options << QString::number(ntohs(address.sin_port)));
        process.waitForStarted(5000);
    }
    ~Relay() {
        process.kill();
        process.waitForFinished(3000);
        ::close(fd);
    }
    // The datagrams that came in `ms`, or until `enough` of them came.
    std::vector<std::string> receive(int ms, std::size_t enough = SIZE_MAX) {
        std::vector<std::string> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end && out.size() < enough) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) out.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
    QProcess process;
    int fd = -1;
};

// The fill bytes of the audio pieces that got through, when 20 pieces of 10 ms are sent, each
// filled with its number.
std::string survivors(const char* seed) {
    Relay relay({"--drop", "50", "--seed", seed});
    if (relay.receive(3000, 1).empty()) return "not started";
    std::string audio;
    for (char piece = 1; piece <= 20; ++piece)
        audio += std::string(882, piece);
    relay.process.write(audio.data(), static_cast<qint64>(audio.size()));
    relay.process.waitForBytesWritten(1000);
    std::string out;
    for (const std::string& datagram : relay.receive(1000))
        if (datagram[0] != '\0') out += datagram[0];
    return out;
}
} // namespace

TEST(AudioRelay, SendsSilenceWhileIdleThenTheAudioAtRealTimeRate) {
    Relay relay({});
    ASSERT_EQ(relay.receive(3000, 1).size(), 1u) << "the relay has started";
    const auto idle = relay.receive(500);
    // 10 ms a datagram: about 50 in 500 ms (fewer on a busy machine), never in a burst.
    EXPECT_GE(idle.size(), 10u);
    EXPECT_LE(idle.size(), 60u);
    for (const std::string& datagram : idle)
        EXPECT_EQ(datagram, std::string(882, '\0'));
    const std::string audio(882 * 30, '\x55');
    relay.process.write(audio.data(), static_cast<qint64>(audio.size()));
    relay.process.waitForBytesWritten(1000);
    std::string heard;
    const auto start = std::chrono::steady_clock::now();
    while (heard.size() < audio.size() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(3))
        for (const std::string& datagram : relay.receive(100)) {
            EXPECT_LE(datagram.size(), 1024u);
            if (datagram[0] != '\0') heard += datagram;
        }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250))
        << "300 ms of audio takes its time";
    EXPECT_TRUE(heard == audio) << heard.size() << " bytes of " << audio.size();
}

TEST(AudioRelay, LosesAShareOfAudioPiecesAsTheSeedSays) {
    const std::string first = survivors("3");
    EXPECT_GT(first.size(), 3u);
    EXPECT_LT(first.size(), 17u);
    EXPECT_EQ(survivors("3"), first);
    EXPECT_NE(survivors("4"), first);
}
