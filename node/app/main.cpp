// brevane: one instance of the node. "brevane [--headless] [instance]"; without a display
// (or with --headless) the same node runs on Qt's offscreen platform and message boxes go to
// stderr and the log.
#include "app/sample_files.h"
#include "app/signal_watcher.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "common/settings_store.h"
#include "common/event_pump.h"
#include "common/paths.h"
#include "core/frm_main.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "setup/frm_tnc.h"

#include <QApplication>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

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

// The short-message server's port: 8773, or GULLWICK_SMS_PORT for a server elsewhere
// (a test server on a free port, say).
std::uint16_t serverPort() {
    const char* text = std::getenv("GULLWICK_SMS_PORT");
    const long port = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return port > 0 && port <= 65535 ? static_cast<std::uint16_t>(port)
                                     : gw::frmBrevane::kServerPort;
}
} // namespace

int main(int argc, char* argv[]) {
    gw::SignalWatcher::holdStopSignals();
    bool headless = !hasDisplay();
    std::string instance;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless") {
            headless = true;
            continue;
        }
        instance += (instance.empty() ? "" : " ") + arg;
    }
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
    gw::installSamples(gw::defaultFileFolder());
    if (headlessDialogs != nullptr)
        headlessDialogs->setLogSink([&main](const std::string& line) { main.Log(line); });

    gw::QtEventPump pump;
    gw::frmBrevane link(queues, main, pump, {serverPort(), true});
    gw::frmTNC setup(main, link, {settings, clock, *dialogs, pump});
    // Nobody can choose Initialize on a headless node: it retries a failed one by itself.
    setup.setRetryInitialization(headless);
    QObject::connect(&main, &gw::frmMain::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // The hand-over (and the automatic initialization in it) runs inside the event loop, so
    // that a stop arriving meanwhile ends the loop instead of being lost before it starts.
    QTimer::singleShot(0, &main, [&main, &setup] { main.handOver(setup, setup); });
    return app.exec();
}
