// Two direwolf stations on one machine joined by a simulated 1200-baud audio channel (each
// one's transmit audio relayed at real-time rate to the other's UDP input), and a radio user
// that works one station through its AGW port, with its own small AGW codec.
#pragma once

#include "smsd_process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QString>
#include <QThread>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace gwtest {

// A port nobody holds now, of the given socket type, on 127.0.0.1; below 49152, the highest
// port direwolf takes in its configuration.
inline int freePort(int type) {
    static std::mt19937 random(static_cast<unsigned>(::getpid()));
    for (;;) {
        const int port = std::uniform_int_distribution<int>(20000, 49000)(random);
        const int fd = ::socket(AF_INET, type, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free) return port;
    }
}

// The 2 KB message the two-station sessions read: 32 lines of 63 characters, each ended by
// `newline` ("\r\n" as the server keeps it, "\r" as the radio user reads it).
inline std::string bigBody(const std::string& newline) {
    std::string body;
    for (int line = 1; line <= 32; ++line) {
        std::string text = "Line " + std::to_string(100 + line) + ": ";
        text += std::string(63 - text.size(), static_cast<char>('a' + line % 26));
        body += text + newline;
    }
    return body;
}
// The server on `port` (node N0CALL, password SECRET) takes the message for N1CALL.
inline bool storeBigMessage(std::uint16_t port) {
    return gwtest::exchange(port, "S|N0CALL|SECRET|N2CALL|SMS_BIG00001|\r\nMid: SMS_BIG00001\r\n"
                                  "Date: 2026/06/01 12:00\r\nFrom: N2CALL\r\nTo: N1CALL\r\n"
                                  "Subject: Big one\r\n\r\n" +
                                      bigBody("\r\n") + "/EX\r\n")
        .closed;
}
// What the radio user hears from its "Mid:" line after reading it, to the next prompt.
inline std::string bigMessageAsRead() {
    return "Mid: SMS_BIG00001\rDate: 2026/06/01 12:00\rFrom: N2CALL\rTo: N1CALL\r"
           "Subject: Big one\r" +
           bigBody("\r") + "SMS>";
}

// brevane (`program`) started headless as instance 1 under `root`, its XDG config and data
// folders: N0CALL with a banner, the server on 127.0.0.1:`smsPort`, the page off, and its TNC
// of `type` (AGW or KISS) at 127.0.0.1:`tncPort`, with `more` settings.
inline void startNode(QProcess& node, const QString& program, const QString& root,
                      const QString& type, int tncPort, std::uint16_t smsPort,
                      const std::vector<std::pair<QString, QString>>& more = {}) {
    QDir().mkpath(root + "/data/gullwick");
    QFile banner(root + "/data/gullwick/banner.txt");
    if (banner.open(QIODevice::WriteOnly)) banner.write("Welcome to N0CALL\r\n");
    {
        QSettings ini(root + "/config/gullwick/SMS.ini", QSettings::IniFormat);
        ini.beginGroup("Client1");
        for (const auto& [key, value] : {std::pair<QString, QString>{"TNCType", type},
                                         {"MBOCall", "N0CALL"},
                                         {"Password", "SECRET"},
                                         {"IPAddress", "127.0.0.1"},
                                         {"IPType", "True"},
                                         {"Initialized", "True"},
                                         {"WebServer", "False"},
                                         {type + "Address", QString("127.0.0.1:%1").arg(tncPort)}})
            ini.setValue(key, value);
        for (const auto& [key, value] : more)
            ini.setValue(key, value);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("GULLWICK_SMS_PORT", QString::number(smsPort));
    node.setProcessEnvironment(env);
    node.start(program, {"--headless", "1"});
}

// One direwolf process: its own HOME (for the ALSA relay device), configuration and log.
class DirewolfStation {
  public:
    int agwPort = 0;
    int kissPort = 0; // the KISS TCP port when started with one, else 0
    int audioPort = 0;
    QString folder;

    ~DirewolfStation() { stop(); }
    // The station gone at once, as a radio switched off.
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) m_process.kill();
        m_process.waitForFinished(3000);
    }
    // Starts the station, hearing on UDP `ownAudioPort`; its transmit audio goes to
    // `peerAudioPort` through the `relay` program, given `relayOptions` (its --drop, say).
    // With `kiss` it also serves a KISS TCP client on kissPort.
    bool start(const QString& home, const QString& call, int ownAudioPort, int peerAudioPort,
               const QString& relay, bool kiss = false, const QString& relayOptions = {}) {
        folder = home;
        QDir().mkpath(folder);
        agwPort = freePort(SOCK_STREAM);
        kissPort = kiss ? freePort(SOCK_STREAM) : 0;
        audioPort = ownAudioPort;
        write(".asoundrc", QString("pcm.relay {\n  type file\n  slave.pcm \"null\"\n"
                                   "  file \"|%1 %2 %3\"\n  format \"raw\"\n}\n")
                               .arg(relay, relayOptions)
                               .arg(peerAudioPort));
        write("direwolf.conf", QString("ADEVICE udp:%1 relay\nACHANNELS 1\nCHANNEL 0\n"
                                       "MYCALL %2\nMODEM 1200\nAGWPORT %3\nKISSPORT %4\n"
                                       "FULLDUP ON\n")
                                   .arg(audioPort)
                                   .arg(call)
                                   .arg(agwPort)
                                   .arg(kissPort));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", folder);
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(folder);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(folder + "/direwolf.log");
        m_process.start("direwolf", {"-t", "0", "-c", folder + "/direwolf.conf"});
        if (!m_process.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            const std::string text = log();
            if (text.find("Ready to accept AGW client") != std::string::npos &&
                (!kiss || text.find("Ready to accept KISS TCP client") != std::string::npos))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    std::string log() const {
        QFile file(folder + "/direwolf.log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }

  private:
    void write(const QString& name, const QString& text) {
        QFile file(folder + "/" + name);
        if (file.open(QIODevice::WriteOnly)) file.write(text.toUtf8());
    }
    QProcess m_process;
};

// The radio user's AGW client: frames out, frames in with a deadline.
class AgwUser {
  public:
    struct Frame {
        int port = 0;
        char kind = 0;
        std::string from, to, data;
    };
    ~AgwUser() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool connect(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    void send(char kind, const std::string& from, const std::string& to,
              const std::string& data = "") {
        std::string frame(36, '\0');
        frame[4] = kind;
        frame[6] = kind == 'D' ? '\xF0' : '\0';
        frame.replace(8, from.size(), from);
        frame.replace(18, to.size(), to);
        for (int i = 0; i < 4; ++i)
            frame[28 + i] = static_cast<char>((data.size() >> (8 * i)) & 0xFF);
        frame += data;
        ::send(m_fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    }
    // The next frame, or nothing when `limit` passes first or the station closes.
    std::optional<Frame> next(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (m_in.size() >= 36) {
                std::size_t length = 0;
                for (int i = 3; i >= 0; --i)
                    length = (length << 8) | static_cast<unsigned char>(m_in[28 + i]);
                if (m_in.size() >= 36 + length) {
                    Frame frame{static_cast<unsigned char>(m_in[0]), m_in[4], call(8), call(18),
                                m_in.substr(36, length)};
                    m_in.erase(0, 36 + length);
                    return frame;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) return std::nullopt;
            m_in.append(buffer, static_cast<std::size_t>(n));
        }
    }

  private:
    std::string call(std::size_t at) const {
        const std::string field = m_in.substr(at, 10);
        return field.substr(0, field.find('\0'));
    }
    int m_fd = -1;
    std::string m_in;
};

} // namespace gwtest
