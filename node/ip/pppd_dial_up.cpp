// pppd as the dial-up service. With "nodetach" pppd stays in the foreground and logs to its
// standard output: "Using interface pppN" names the link and "local  IP address" marks IP up
// (the moment its ip-up script runs). Its exit is the end of the link, its status the error.
#include "ip/pppd_dial_up.h"

#include "common/node_error.h"

#include <QDir>
#include <QFileInfo>

namespace gw {
namespace {
constexpr const char* kSource = "DialUp";
constexpr long kNotFound = 623;    // "The phone book entry was not found."
constexpr long kCannotStart = 633; // "The port is already in use or is not configured."
} // namespace

PppdDialUp::Options PppdDialUp::Options::fromEnvironment() {
    Options options;
    if (const QByteArray peers = qgetenv("GULLWICK_PPP_PEERS"); !peers.isEmpty())
        options.peersFolder = peers.toStdString();
    if (const QByteArray program = qgetenv("GULLWICK_PPPD"); !program.isEmpty())
        options.program = program.toStdString();
    return options;
}

PppdDialUp::PppdDialUp(EventPump& pump, const Clock& clock, Options options)
    : m_pump(pump), m_clock(clock), m_options(std::move(options)) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    QObject::connect(&m_process, &QProcess::finished, [this] { finished(); });
}

PppdDialUp::~PppdDialUp() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.disconnect();
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) m_process.kill(), m_process.waitForFinished(3000);
}

void PppdDialUp::enumerate() {
    QDir folder(QString::fromStdString(m_options.peersFolder));
    const QStringList names = folder.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : names)
        raiseEntry(name.toStdString());
}

void PppdDialUp::setEntry(const std::string& name) {
    m_entry = name;
}

void PppdDialUp::dial() {
    // The name goes to pppd as a peer name: only a plain file of the peers folder will do.
    const QString name = QString::fromStdString(m_entry);
    const QFileInfo peer(QDir(QString::fromStdString(m_options.peersFolder)), name);
    if (name.isEmpty() || name.contains('/') || name.startsWith('.') || !peer.isFile())
        throw NodeError(kNotFound, kSource, "The phone book entry was not found.");
    if (m_process.state() != QProcess::NotRunning) {
        // A link already up is a dial that has connected: the caller hears so, and the
        // hang-up countdown then owns the link.
        if (m_up) raiseStatus(kAuthenticated, 0);
        return;
    }
    m_pending.clear();
    m_interface.clear();
    QStringList args{"call", name, "nodetach"};
    // pppd takes peers from /etc/ppp/peers only; another folder is given as an options file.
    if (QFileInfo(QString::fromStdString(m_options.peersFolder)).canonicalFilePath() !=
        QFileInfo("/etc/ppp/peers").canonicalFilePath())
        args = QStringList{"file", peer.absoluteFilePath(), "nodetach"};
    m_process.start(QString::fromStdString(m_options.program), args);
    if (!m_process.waitForStarted(5000))
        throw NodeError(kCannotStart, kSource,
                        "pppd could not be started: " + m_process.errorString().toStdString());
    const bool ended = waitUntil(m_pump, m_clock, kDialLimit, [this] {
        return m_up || m_process.state() == QProcess::NotRunning;
    });
    if (!ended) stop();
}

void PppdDialUp::abandon() {
    if (m_process.state() != QProcess::NotRunning && !m_up) m_process.terminate();
}

void PppdDialUp::hangUp() {
    if (m_process.state() != QProcess::NotRunning) stop();
}

void PppdDialUp::stop() {
    m_process.terminate();
    if (!waitUntil(m_pump, m_clock, kHangUpLimit,
                   [this] { return m_process.state() == QProcess::NotRunning; })) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void PppdDialUp::readOutput() {
    m_pending += m_process.readAllStandardOutput().toStdString();
    std::size_t end;
    while ((end = m_pending.find('\n')) != std::string::npos) {
        const std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        const std::string usingInterface = "Using interface ";
        if (line.rfind(usingInterface, 0) == 0) m_interface = line.substr(usingInterface.size());
        if (line.rfind("local  IP address", 0) == 0 && !m_up) {
            m_up = true;
            raiseStatus(kAuthenticated, 0);
        }
    }
}

void PppdDialUp::finished() {
    readOutput();
    m_up = false;
    const long error = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : 0;
    raiseStatus(kDisconnected, error);
}

} // namespace gw
