// smsd: command line, signals and start-up of the reference short-message server.
#include "common/paths.h"
#include "common/text.h"
#include "server.h"
#include "store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <iostream>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void logLine(const std::string& line) {
    std::cerr << "smsd: " << line << std::endl;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("smsd");
    QCoreApplication::setApplicationVersion(GULLWICK_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Reference short-message server for the Gullwick node.\n"
        "A refused send is answered with one line and a normal close; a send whose MID is\n"
        "stored already is answered \"MID already stored: <MID>\", which a node takes as\n"
        "delivered.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listenOption("listen", "Address to listen on (default 127.0.0.1).",
                                          "address", "127.0.0.1");
    const QCommandLineOption portOption("port", "TCP port (default 8773; 0 picks a free one).",
                                        "port", "8773");
    const QCommandLineOption dbOption("db", "SQLite database file, or :memory:.", "file");
    const QCommandLineOption nodeOption("node", "A node account CALL:PASSWORD (repeatable).",
                                        "account");
    const QCommandLineOption seedOption("seed", "Store a few sample messages for a demonstration.");
    const QCommandLineOption idleOption(
        "idle-timeout",
        "Seconds a client may take to send its request and read the answer (default 60).",
        "seconds", "60");
    const QCommandLineOption maxConnectionsOption(
        "max-connections", "Connections served at once; more are reset (default 400).", "count",
        "400");
    const QCommandLineOption maxPerAddressOption(
        "max-per-address",
        "Connections served at once from one client address; more are reset (default 32).", "count",
        "32");
    const QCommandLineOption refusalLogOption(
        "refusal-log-period",
        "Seconds over which repeated refusals of one kind are counted and logged as one line "
        "(default 10).",
        "seconds", "10");
    const QCommandLineOption busyOption(
        "busy-timeout",
        "Seconds a request waits for a database locked by another program (default 5).", "seconds",
        "5");
    const QCommandLineOption loseAnswersOption(
        "lose-answers",
        "Fault for tests: the first <count> stored sends are stored and then answered with a "
        "reset, as if the answer were lost on the way (default 0).",
        "count", "0");
    parser.addOptions({listenOption, portOption, dbOption, nodeOption, seedOption, idleOption,
                       maxConnectionsOption, maxPerAddressOption, refusalLogOption, busyOption,
                       loseAnswersOption});
    parser.process(app);

    smsd::ServerOptions options;
    options.address = QHostAddress(parser.value(listenOption));
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    bool idleOk = false;
    const double idleSeconds = parser.value(idleOption).toDouble(&idleOk);
    bool maxOk = false;
    const uint maxConnections = parser.value(maxConnectionsOption).toUInt(&maxOk);
    bool perAddressOk = false;
    const uint maxPerAddress = parser.value(maxPerAddressOption).toUInt(&perAddressOk);
    bool refusalLogOk = false;
    const double refusalLogSeconds = parser.value(refusalLogOption).toDouble(&refusalLogOk);
    bool busyOk = false;
    const double busySeconds = parser.value(busyOption).toDouble(&busyOk);
    bool loseOk = false;
    const uint loseAnswers = parser.value(loseAnswersOption).toUInt(&loseOk);
    if (options.address.isNull() || !portOk || port > 65535 || !idleOk || idleSeconds <= 0 ||
        !maxOk || maxConnections == 0 || !perAddressOk || maxPerAddress == 0 || !refusalLogOk ||
        refusalLogSeconds < 0.001 || refusalLogSeconds > 86400 || !busyOk || busySeconds < 0 ||
        !loseOk) {
        logLine("bad --listen, --port, --idle-timeout, --max-connections, --max-per-address, "
                "--refusal-log-period, --busy-timeout or --lose-answers value");
        return 2;
    }
    options.loseAnswers = loseAnswers;
    options.maxConnections = maxConnections;
    options.maxPerAddress = maxPerAddress;
    options.refusalLogPeriod =
        std::chrono::milliseconds(static_cast<long long>(refusalLogSeconds * 1000));
    options.busyTimeout = std::chrono::milliseconds(static_cast<long long>(busySeconds * 1000));
    options.port = static_cast<std::uint16_t>(port);
    options.idleTimeout = std::chrono::milliseconds(static_cast<long long>(idleSeconds * 1000));
    for (const QString& account : parser.values(nodeOption)) {
        const qsizetype colon = account.indexOf(':');
        if (colon <= 0) {
            logLine("bad --node value (expected CALL:PASSWORD): " + account.toStdString());
            return 2;
        }
        options.accounts[gw::toUpper(account.left(colon).toStdString())] =
            account.mid(colon + 1).toStdString();
    }
    if (options.accounts.empty()) logLine("no --node account given: every request will be refused");

    std::string dbPath = parser.value(dbOption).toStdString();
    if (dbPath.empty()) {
        gw::makePrivateFolder(gw::defaultFileFolder());
        dbPath = gw::defaultFileFolder() + "smsd.sqlite";
    }
    try {
        smsd::Store store(dbPath);
        if (parser.isSet(seedOption))
            logLine("seeded " + std::to_string(store.seed()) + " sample message(s)");

        smsd::Server server(store, options, logLine);
        std::string error;
        if (!server.listen(error)) {
            logLine("cannot listen on " + parser.value(listenOption).toStdString() + ":" +
                    std::to_string(options.port) + ": " + error);
            return 1;
        }

        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return 1;
        QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app,
                         [] { QCoreApplication::quit(); });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);

        logLine("listening on " + options.address.toString().toStdString() + ":" +
                std::to_string(server.port()) + ", database " + dbPath);
        const int rc = QCoreApplication::exec();
        logLine("stopped");
        return rc;
    } catch (const std::exception& failure) {
        logLine(failure.what());
        return 1;
    }
}
