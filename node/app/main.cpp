// brevane: one instance of the node. "brevane [--headless] [instance]"; with a display (and
// without --headless) it hands over to the program with the windows, brevane-gui; otherwise
// the node runs here without any widget or GUI library, message boxes go to stderr and the
// log, and the node initializes by itself or ends when its settings cannot do.
// "brevane --check [instance]" checks those settings without starting the node.
#include "app/command_line.h"
#include "app/node_run.h"
#include "app/signal_watcher.h"
#include "common/journal.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {
bool hasDisplay() {
    return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
}

// The windows' program: beside this one in a build tree, else where it is installed.
std::string guiProgram() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / "brevane-gui";
        if (std::filesystem::exists(beside, error)) return beside.string();
    }
    return GULLWICK_GUI_PROGRAM;
}
} // namespace

int main(int argc, char* argv[]) {
    gw::SignalWatcher::holdStopSignals();
    const gw::CommandLine line = gw::parseCommandLine(argc, argv);
    if (const int status = gw::answerWithoutNode(line); status >= 0) return status;
    if (!line.headless && hasDisplay()) {
        const std::string gui = guiProgram();
        ::execv(gui.c_str(), argv);
        // The windows come in a package of their own, which a headless machine leaves out.
        const int error = errno;
        gw::writeJournal(gw::JournalPriority::Warning,
                         error == ENOENT ? "brevane: the windows (" + gui +
                                               ", package gullwick-gui) are not installed; "
                                               "running headless"
                                         : "brevane: cannot start the windows (" + gui +
                                               "): " + std::strerror(error) + "; running headless");
    }
    QCoreApplication app(argc, argv);
    gw::HeadlessDialogs dialogs;
    return gw::runNode({line.instance, true, dialogs, &dialogs, {}, {}});
}
