// tncsim's command line, for every type of simulated TNC.
#pragma once

#include "agw_sim.h"
#include "kiss_sim.h"

#include <optional>
#include <string>
#include <vector>

namespace tncsim {

struct SimOptions {
    std::string type = "KPC3"; // KPC3, KPC9612, KAM, TNC2, AGW or KISS
    std::optional<bool> echo;  // default: on, as the real units ship
    bool startInHost = false;
    int speed = 0;
    int delayMs = 0;
    int garbage = 0;
    int noise = 0; // framing-like noise bytes before every answer
    bool off = false;
    std::vector<std::string> unanswered;
    std::string script;
    std::string interactive; // "1A": a person types as that stream's user
    int linkCom = 0;         // create $XDG_CONFIG_HOME/gullwick/devices/comN
    bool exitWhenDone = false;
    int startAfterMs = 500; // users begin this long after the TNC reaches its working mode
    bool help = false;

    AgwSimOptions agw;
    std::string agwClientHost; // with a port: users on a real modem program instead
    int agwClientPort = 0;
    std::string agwNode = "N0CALL";

    KissSimOptions kiss;

    // Whether the simulated TNC is on a pseudo-terminal (else a TCP port).
    bool onPty() const { return type != "AGW" && (type != "KISS" || kiss.tcpPort < 0); }
};

// Fills `options` from the arguments; on a bad argument returns the message to show.
std::optional<std::string> parseOptions(int argc, char** argv, SimOptions& options);
const char* usage();

} // namespace tncsim
