// One node instance run to its end on the running Qt application: the core, the server link
// and the setup wired together, with the windows over them when there is an operator.
#pragma once

#include "common/dialogs.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace gw {

class NodeCore;
class NodeSetup;

struct NodeRun {
    std::string instance; // the instance words of the command line
    bool headless = false;
    Dialogs& dialogs;
    // Where a headless node's message boxes go once its log is open; null with windows.
    HeadlessDialogs* headlessDialogs = nullptr;
    // Makes the windows over the core and the setup; they live until the run ends.
    std::function<std::unique_ptr<QObject>(NodeCore&, NodeSetup&, Dialogs&)> views;
    // Closes the message boxes on screen when a stop comes; none without windows.
    std::function<void()> closeBoxes;
};

// Runs the node until it has shut down; the program's exit status.
int runNode(const NodeRun& run);

} // namespace gw
