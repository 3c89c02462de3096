// tncsim's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tncsim {

struct SimOptions {
    std::string type = "KPC3"; // KPC3, KPC9612, KAM or TNC2
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
};

// Fills `options` from the arguments; on a bad argument returns the message to show.
std::optional<std::string> parseOptions(int argc, char** argv, SimOptions& options);
const char* usage();

} // namespace tncsim
