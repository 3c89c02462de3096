// brevane: one instance of the node. "brevane [--headless] [instance]"; without a display
// (or with --headless) the same node runs on Qt's offscreen platform, message boxes go to
// stderr and the log, and the node initializes by itself or ends when its settings cannot
// do. "brevane --check [instance]" checks those settings without starting the node.
#include "app/sample_files.h"
#include "app/signal_watcher.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/event_pump.h"
#include "common/journal.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "core/frm_main.h"
#include "core/instance.h"
#include "core/node_setup.h"
#include "core/version_text.h"
#include "gui/frm_tnc.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "setup/instance_settings.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
bool hasDisplay() {
    return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
}

// The offscreen platform reports every window feature it lacks; a headless node's journal
// keeps the node's own messages only.
QtMessageHandler g_standardMessages = nullptr;

void quietPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains("does not support") || text.contains("XDG_RUNTIME_DIR")) return;
    if (g_standardMessages != nullptr)
        g_standardMessages(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

// A headless start whose settings only the operator can mend: the service manager is not to
// restart it (EX_CONFIG).
constexpr int kExitIncompleteSettings = 78;

constexpr const char* kUsage =
    "usage: brevane [--headless] [instance]\n"
    "       brevane --check [instance]\n"
    "       brevane --help | --version\n"
    "\n"
    "Runs instance 1 to 10 (default 1) of the Gullwick packet-radio message node.\n"
    "\n"
    "  --headless  run without windows (the default without a display): message boxes go\n"
    "              to stderr and the log, the node initializes by itself, and it ends with\n"
    "              status 78 when its settings are incomplete\n"
    "  --check     report each problem of the instance's settings; status 0 only when the\n"
    "              node could initialize with them\n"
    "  --help      show this text and end\n"
    "  --version   show the version and end\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/gullwick/SMS.ini (default ~/.config/gullwick/SMS.ini),\n"
    "section [Client<instance>]; every key is described in brevane(1).\n";

struct CommandLine {
    bool headless = false;
    bool check = false;
    bool help = false;
    bool version = false;
    std::string instance; // the words that are not options, as typed
    std::string error;
};

CommandLine parseCommandLine(int argc, char* argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            line.headless = true;
        else if (arg == "--check")
            line.check = true;
        else if (arg == "--help" || arg == "-h")
            line.help = true;
        else if (arg == "--version")
            line.version = true;
        else if (arg.size() > 1 && arg[0] == '-' &&
                 !std::isdigit(static_cast<unsigned char>(arg[1])))
            line.error = "unknown option " + arg;
        else
            line.instance += (line.instance.empty() ? "" : " ") + arg;
    }
    return line;
}

void printProblems(const std::string& sInstance, const std::vector<gw::SettingsProblem>& problems) {
    for (const gw::SettingsProblem& problem : problems)
        std::fprintf(stderr, "brevane: instance %s: %s\n", sInstance.c_str(), problem.text.c_str());
}

// brevane --check: the settings as a start of the instance would read them.
int checkSettings(const std::string& instanceWords) {
    const std::string sInstance = gw::instanceText(instanceWords);
    if (!gw::instanceValid(sInstance)) {
        std::fprintf(stderr, "brevane: Only Numeric Instance parameters 1-10 are permitted.\n");
        return 2;
    }
    const gw::SettingsStore settings("SMS");
    const std::string section = "Client" + sInstance;
    const std::vector<gw::SettingsProblem> problems = gw::checkInstanceSettings(settings, section);
    printProblems(sInstance, problems);
    if (!problems.empty()) return EXIT_FAILURE;
    std::printf("brevane: instance %s: the settings in %s [%s] are complete.\n", sInstance.c_str(),
                settings.filePath().c_str(), section.c_str());
    return EXIT_SUCCESS;
}
} // namespace

int main(int argc, char* argv[]) {
    gw::SignalWatcher::holdStopSignals();
    const CommandLine line = parseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "brevane: %s\n%s", line.error.c_str(), kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        return EXIT_SUCCESS;
    }
    if (line.version) {
        std::printf("brevane (Gullwick) %s\n", gw::versionText().c_str());
        return EXIT_SUCCESS;
    }
    if (line.check) return checkSettings(line.instance);
    const bool headless = line.headless || !hasDisplay();
    const std::string& instance = line.instance;
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        g_standardMessages = qInstallMessageHandler(quietPlatformMessages);
    }

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    gw::SettingsStore settings("SMS");
    gw::SystemClock clock;
    std::unique_ptr<gw::Dialogs> dialogs;
    gw::HeadlessDialogs* headlessDialogs = nullptr;
    if (headless) {
        auto box = std::make_unique<gw::HeadlessDialogs>();
        headlessDialogs = box.get();
        dialogs = std::move(box);
    } else {
        dialogs = std::make_unique<gw::QtDialogs>();
    }

    gw::ServerQueues queues;
    gw::frmMain main(settings, clock, *dialogs, queues);
    // Watching for SIGTERM before the heartbeat is written: a stop that arrives while the
    // node is still starting waits in the pipe and runs the shutdown once the loop runs.
    gw::SignalWatcher stopWatcher;
    QObject::connect(&stopWatcher, &gw::SignalWatcher::stopRequested, &main, &QWidget::close);
    if (!main.startUp(instance)) return EXIT_FAILURE;
    if (headless) {
        // Nobody can fill in the setup window: settings it cannot initialize with end the node
        // at once, loudly. A serial device that is missing now is waited for.
        const auto problems = gw::checkInstanceSettings(settings, main.settingsSection());
        printProblems(main.sInstance, problems);
        if (std::any_of(problems.begin(), problems.end(), [](const gw::SettingsProblem& problem) {
                return problem.kind == gw::SettingsProblem::Kind::Setting;
            })) {
            std::fprintf(stderr, "brevane: instance %s cannot initialize with the settings in %s\n",
                         main.sInstance.c_str(), settings.filePath().c_str());
            main.close();
            return kExitIncompleteSettings;
        }
    }
    gw::installSamples(gw::defaultFileFolder());
    if (headlessDialogs != nullptr) {
        main.nodeLog().setEcho(gw::writeJournal);
        headlessDialogs->setLogSink([&main](gw::JournalPriority priority, const std::string& text) {
            main.nodeLog().Log(text, priority);
        });
    }

    gw::QtEventPump pump;
    gw::frmBrevane link(queues, main, pump,
                        {gw::serverPort(settings, main.settingsSection()), true});
    gw::NodeSetup setup(main, link, {settings, clock, *dialogs, pump});
    // Nobody can choose Initialize on a headless node: it initializes and retries by itself.
    setup.setUnattended(headless);
    gw::frmTNC setupWindow(setup, *dialogs);
    QObject::connect(&main, &gw::frmMain::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // The hand-over (and the automatic initialization in it) runs inside the event loop, so
    // that a stop arriving meanwhile ends the loop instead of being lost before it starts.
    QTimer::singleShot(0, &main, [&main, &setup] { main.handOver(setup, setup); });
    return app.exec();
}
