// The node programs' command line and the answers that need no running node.
#include "app/command_line.h"

#include "app/secret_prompt.h"
#include "common/journal.h"
#include "common/settings_store.h"
#include "common/text.h"
#include "core/instance.h"
#include "core/version_text.h"
#include "setup/web_password.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace gw {
namespace {
constexpr const char* kUsage =
    "usage: brevane [--headless] [instance]\n"
    "       brevane --check [instance]\n"
    "       brevane --web-password [instance]\n"
    "       brevane --spool list|retry MID|drop MID [instance]\n"
    "       brevane --help | --version\n"
    "\n"
    "Runs instance 1 to 10 (default 1) of the Gullwick packet-radio message node.\n"
    "\n"
    "  --headless  run without windows (the default without a display): message boxes go\n"
    "              to stderr and the log, the node initializes by itself, and it ends with\n"
    "              status 78 when its settings are incomplete\n"
    "  --check     report each problem of the instance's settings (and a damaged web console\n"
    "              password); status 0 only when there is none\n"
    "  --web-password\n"
    "              set the password of the node's web console: asked twice without echo,\n"
    "              or one line of standard input when that is not a terminal\n"
    "  --spool     list the messages in the instance's spool, waiting and set aside (the\n"
    "              server refused them) with the reasons; retry MID puts a set-aside\n"
    "              message back in the queue, drop MID deletes it\n"
    "  --help      show this text and end\n"
    "  --version   show the version and end\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/gullwick/SMS.ini (default ~/.config/gullwick/SMS.ini),\n"
    "section [Client<instance>]; every key is described in brevane(1).\n";

// The words after --spool: the action, and the MID it takes; `at` ends on the last one used.
SpoolCommand spoolWords(int argc, char* argv[], int& at, std::string& error) {
    SpoolCommand command;
    if (at + 1 < argc) command.action = argv[++at];
    if (command.action != "list" && command.action != "retry" && command.action != "drop") {
        error = "--spool wants list, retry MID or drop MID";
        return command;
    }
    if (command.action == "list") return command;
    if (at + 1 < argc) command.mid = argv[++at];
    if (command.mid.empty()) error = "--spool " + command.action + " wants the MID";
    return command;
}
} // namespace

CommandLine parseCommandLine(int argc, char* argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            line.headless = true;
        else if (arg == "--check")
            line.check = true;
        else if (arg == "--web-password")
            line.webPassword = true;
        else if (arg == "--help" || arg == "-h")
            line.help = true;
        else if (arg == "--version")
            line.version = true;
        else if (arg == "--spool")
            line.spool = spoolWords(argc, argv, i, line.error);
        else if (arg.size() > 1 && arg[0] == '-' &&
                 !std::isdigit(static_cast<unsigned char>(arg[1])))
            line.error = "unknown option " + arg;
        else
            line.instance += (line.instance.empty() ? "" : " ") + arg;
    }
    return line;
}

void printProblems(const std::string& sInstance, const std::vector<SettingsProblem>& problems) {
    for (const SettingsProblem& problem : problems)
        writeJournal(JournalPriority::Error,
                     "brevane: instance " + sInstance + ": " + problem.text);
}

namespace {
// brevane --check: the settings as a start of the instance would read them.
int checkSettings(const std::string& instanceWords) {
    const std::string sInstance = instanceText(instanceWords);
    if (!instanceValid(sInstance)) {
        writeJournal(JournalPriority::Error,
                     "brevane: Only Numeric Instance parameters 1-10 are permitted.");
        return 2;
    }
    const SettingsStore settings("SMS");
    const std::string section = "Client" + sInstance;
    std::vector<SettingsProblem> problems = checkInstanceSettings(settings, section);
    // Not in the way of initializing, but the console's login cannot work until it is mended.
    const std::string stored = settings.read(section, kWebPasswordKey, "");
    if (!stored.empty() && !webPasswordHashReadable(stored))
        problems.push_back({SettingsProblem::Kind::Setting,
                            std::string(kWebPasswordKey) +
                                ": the stored web console password is damaged; set it again "
                                "with: brevane --web-password " +
                                sInstance});
    printProblems(sInstance, problems);
    for (const std::string& note : instanceNotes(settings, section))
        std::printf("brevane: instance %s: note: %s\n", sInstance.c_str(),
                    loggable(note, 4096).c_str());
    if (!problems.empty()) return EXIT_FAILURE;
    std::printf("brevane: instance %s: the settings in %s [%s] are complete.\n", sInstance.c_str(),
                settings.filePath().c_str(), section.c_str());
    return EXIT_SUCCESS;
}

// brevane --web-password: the web console's password hash, written where the running node
// reads it at each login.
int setWebPassword(const std::string& instanceWords) {
    const std::string sInstance = instanceText(instanceWords);
    if (!instanceValid(sInstance)) {
        std::fprintf(stderr, "brevane: Only Numeric Instance parameters 1-10 are permitted.\n");
        return 2;
    }
    SettingsStore settings("SMS");
    std::string problem;
    if (!settings.writable(problem)) {
        std::fprintf(stderr, "brevane: cannot write %s: %s\n", settings.filePath().c_str(),
                     problem.c_str());
        return EXIT_FAILURE;
    }
    SecretPrompt prompt;
    const std::optional<std::string> password =
        prompt.ask("Web console password for instance " + sInstance + ": ");
    if (!password) {
        std::fprintf(stderr, "brevane: no password given; nothing changed.\n");
        return EXIT_FAILURE;
    }
    problem = webPasswordProblem(*password);
    if (problem.empty() && prompt.onTerminal() && prompt.ask("Again: ") != password)
        problem = "The two passwords differ.";
    if (!problem.empty()) {
        std::fprintf(stderr, "brevane: %s Nothing changed.\n", problem.c_str());
        return EXIT_FAILURE;
    }
    if (!settings.write("Client" + sInstance, kWebPasswordKey, hashWebPassword(*password))) {
        std::fprintf(stderr, "brevane: cannot write %s\n", settings.filePath().c_str());
        return EXIT_FAILURE;
    }
    std::printf("Web console password set for instance %s.\n", sInstance.c_str());
    return EXIT_SUCCESS;
}
} // namespace

int answerWithoutNode(const CommandLine& line) {
    if (!line.error.empty()) {
        writeJournal(JournalPriority::Error, "brevane: " + line.error);
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        return EXIT_SUCCESS;
    }
    if (line.version) {
        std::printf("brevane (Gullwick) %s\n", versionText().c_str());
        return EXIT_SUCCESS;
    }
    if (line.check) return checkSettings(line.instance);
    if (line.webPassword) return setWebPassword(line.instance);
    if (line.spool) return runSpoolCommand(*line.spool, line.instance);
    return -1;
}

} // namespace gw
