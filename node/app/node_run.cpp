// The start-up order of a node instance, shared by the headless program and the windows.
#include "app/node_run.h"

#include "app/command_line.h"
#include "app/sample_files.h"
#include "app/signal_watcher.h"
#include "common/clock.h"
#include "common/event_pump.h"
#include "common/journal.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "core/node_core.h"
#include "core/node_setup.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "setup/instance_settings.h"
#include "setup/web_password.h"
#include "web/web_config.h"
#include "web/web_server.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <sys/resource.h>

namespace gw {
namespace {
// A headless start whose settings only the operator can mend: the service manager is not to
// restart it (EX_CONFIG).
constexpr int kExitIncompleteSettings = 78;

// The node's web page as its settings ask; a page that cannot start is logged and the node
// runs on without it.
std::unique_ptr<WebServer> startWebServer(const WebServer::Services& services) {
    NodeCore& core = services.core;
    WebConfig config = readWebConfig(services.settings, core.settingsSection(), core.instance());
    if (!config.enabled) return nullptr;
    const std::string stored = services.settings.read(core.settingsSection(), kWebPasswordKey, "");
    if (!stored.empty() && !webPasswordHashReadable(stored))
        core.nodeLog().Log("Web console: the stored password (WebPassword) is damaged; set it "
                           "again with: brevane --web-password " +
                               core.instance(),
                           JournalPriority::Error);
    // The radio side's descriptors come first: the page gets what the process limit leaves.
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur != RLIM_INFINITY) {
        const std::string problem = fitDescriptorLimit(config, descriptors.rlim_cur);
        if (!problem.empty()) core.nodeLog().Log("Web page: " + problem, JournalPriority::Warning);
        if (config.limits.maxConnections == 0) return nullptr;
    }
    const bool loopback = config.loopbackOnly();
    const QHostAddress address = config.address;
    auto web = std::make_unique<WebServer>(services, std::move(config));
    if (!web->start()) {
        core.nodeLog().Log("Web page not started: " + web->problem(), JournalPriority::Error);
        return nullptr;
    }
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? "[" + address.toString() + "]"
                             : address.toString();
    core.nodeLog().Log("Web page on http://" + host.toStdString() + ":" +
                       std::to_string(web->port()) + "/");
    if (!loopback)
        core.nodeLog().Log("Web page reachable from the network without TLS: put it behind a "
                           "reverse proxy that adds TLS (see the web page's documentation)",
                           JournalPriority::Warning);
    return web;
}
} // namespace

int runNode(const NodeRun& run) {
    SettingsStore settings("SMS");
    SystemClock clock;
    ServerQueues queues;
    NodeCore core(settings, clock, run.dialogs, queues);
    // Watching for SIGTERM before the heartbeat is written: a stop that arrives while the
    // node is still starting waits in the pipe and runs the shutdown once the loop runs.
    SignalWatcher stopWatcher;
    QObject::connect(&stopWatcher, &SignalWatcher::stopRequested, &core, [&core, &run] {
        if (run.closeBoxes) run.closeBoxes();
        core.requestStop();
    });
    if (!core.startUp(run.instance)) return EXIT_FAILURE;
    if (run.headless) {
        // Nobody can fill in the setup window: settings it cannot initialize with end the node
        // at once, loudly. A serial device that is missing now is waited for.
        const auto problems = checkInstanceSettings(settings, core.settingsSection());
        printProblems(core.instance(), problems);
        if (std::any_of(problems.begin(), problems.end(), [](const SettingsProblem& problem) {
                return problem.kind == SettingsProblem::Kind::Setting;
            })) {
            writeJournal(JournalPriority::Error, "brevane: instance " + core.instance() +
                                                     " cannot initialize with the settings in " +
                                                     settings.filePath());
            core.requestStop();
            return kExitIncompleteSettings;
        }
    }
    installSamples(defaultFileFolder());
    if (run.headlessDialogs != nullptr) {
        core.nodeLog().setEcho(writeJournal);
        run.headlessDialogs->setLogSink([&core](JournalPriority priority, const std::string& text) {
            core.nodeLog().Log(text, priority);
        });
    }

    QtEventPump pump;
    frmBrevane link(queues, core, pump, {serverPort(settings, core.settingsSection()), true});
    NodeSetup setup(core, link, {settings, clock, run.dialogs, pump});
    // Nobody can choose Initialize on a headless node: it initializes and retries by itself.
    setup.setUnattended(run.headless);
    const std::unique_ptr<WebServer> web = startWebServer({core, setup, settings, clock});
    const std::unique_ptr<QObject> views =
        run.views ? run.views(core, setup, run.dialogs) : nullptr;
    QObject::connect(&core, &NodeCore::ended, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // The hand-over (and the automatic initialization in it) runs inside the event loop, so
    // that a stop arriving meanwhile ends the loop instead of being lost before it starts.
    QTimer::singleShot(0, &core, [&core, &setup] { core.handOver(setup, setup); });
    return QCoreApplication::exec();
}

} // namespace gw
