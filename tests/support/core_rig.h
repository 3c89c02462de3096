// The node's core, its server link and its setup wired as the program wires them, without a
// window, on a settings file in a temporary folder and with the test's kind of clock and event
// pump: the fixture that tests of the setup and of its views build on.
#pragma once

#include "core/node_core.h"
#include "core/node_setup.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "support/recording_dialogs.h"
#include "support/scripted_dial_up.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace gw {

// Members go in reverse order: the setup first, the core last, and a fixture's own (a window,
// a web server) before them all.
template <class ClockType, class PumpType> class CoreRig : public testing::Test {
  protected:
    QTemporaryDir dir;
    SettingsStore settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    ClockType clock;
    PumpType pump = makePump();
    RecordingDialogs dialogs;
    ServerQueues queues;
    std::unique_ptr<NodeCore> core;
    std::unique_ptr<frmBrevane> link;
    std::unique_ptr<NodeSetup> setup;

    // The core, not started yet, so that a test may connect to its signals first.
    NodeCore& makeCore() {
        core = std::make_unique<NodeCore>(settings, clock, dialogs, queues);
        return *core;
    }
    // Starts the core as `instance` (made first when it is not yet), then makes the server
    // link, which does not connect by itself, and the setup. False when the core refused.
    bool startCore(const std::string& instance) {
        if (!core) makeCore();
        if (!core->startUp(instance)) return false;
        link = std::make_unique<frmBrevane>(queues, *core, pump,
                                            frmBrevane::Options{frmBrevane::kServerPort, false});
        setup = std::make_unique<NodeSetup>(*core, *link,
                                            NodeSetup::Services{settings, clock, dialogs, pump});
        return true;
    }
    // Gives the setup a scripted dial-up backend with these phone-book entries.
    ScriptedDialUp& scriptDialUp(std::vector<std::string> entries) {
        auto scripted = std::make_unique<ScriptedDialUp>(pump, clock, std::move(entries));
        ScriptedDialUp& dialUp = *scripted;
        setup->setDialUp(std::move(scripted));
        return dialUp;
    }

  private:
    PumpType makePump() {
        if constexpr (std::is_constructible_v<PumpType, ClockType&>)
            return PumpType(clock);
        else
            return PumpType();
    }
};

} // namespace gw
