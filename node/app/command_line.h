// The node programs' command line: "[--headless] [instance]", "--check [instance]",
// "--web-password [instance]", "--spool list|retry MID|drop MID [instance]", "--help",
// "--version", and the answers that need no running node.
#pragma once

#include "app/spool_command.h"
#include "setup/instance_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace gw {

struct CommandLine {
    bool headless = false;
    bool check = false;
    bool webPassword = false;
    bool help = false;
    bool version = false;
    std::optional<SpoolCommand> spool;
    std::string instance; // the words that are not options, as typed
    std::string error;
};

CommandLine parseCommandLine(int argc, char* argv[]);
// Answers --help, --version, --check, --web-password, --spool and a bad command line: the exit
// status, or -1 when the node is to run.
int answerWithoutNode(const CommandLine& line);
void printProblems(const std::string& sInstance, const std::vector<SettingsProblem>& problems);

} // namespace gw
