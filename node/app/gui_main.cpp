// brevane-gui: one instance of the node with its windows, started by brevane when there is a
// display. Same command line as brevane.
#include "app/command_line.h"
#include "app/node_run.h"
#include "app/signal_watcher.h"
#include "gui/frm_main.h"
#include "gui/frm_tnc.h"
#include "gui/qt_dialogs.h"

#include <QApplication>

namespace {
// The two windows over one node: the main window and the setup window.
class Windows : public QObject {
  public:
    Windows(gw::NodeCore& core, gw::NodeSetup& setup, gw::Dialogs& dialogs)
        : main(core, dialogs), setupWindow(setup, dialogs) {}
    gw::frmMain main;
    gw::frmTNC setupWindow;
};
} // namespace

int main(int argc, char* argv[]) {
    gw::SignalWatcher::holdStopSignals();
    const gw::CommandLine line = gw::parseCommandLine(argc, argv);
    if (const int status = gw::answerWithoutNode(line); status >= 0) return status;
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    gw::QtDialogs dialogs;
    return gw::runNode({line.instance, false, dialogs, nullptr,
                        [](gw::NodeCore& core, gw::NodeSetup& setup, gw::Dialogs& boxes) {
                            return std::make_unique<Windows>(core, setup, boxes);
                        },
                        [&dialogs] { dialogs.closeAll(); }});
}
