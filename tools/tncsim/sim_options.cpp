// tncsim's command line.
#include "sim_options.h"

#include <cstdlib>
#include <string_view>

namespace tncsim {

const char* usage() {
    return "usage: tncsim [--type KPC3|KPC9612|KAM|TNC2] [--echo on|off] [--host]\n"
           "              [--speed BPS] [--delay MS] [--garbage N] [--noise N] [--off]\n"
           "              [--no-answer CMD]... [--script FILE] [--start-after MS]\n"
           "              [--interactive 1A] [--link-com N] [--exit-when-done]\n"
           "       tncsim --help | --version\n"
           "       tncsim --type AGW ...: a modem program's AGW TCP port (see its own usage)\n"
           "  --host            start in host mode (INTFACE HOST stored), Kantronics only\n"
           "  --speed BPS       pace answers to the line speed (ten bits a character)\n"
           "  --delay MS        answer every command late\n"
           "  --garbage N       put N noise bytes (0x80-0xBF) before every answer\n"
           "  --noise N         put N bytes of FEND, FESC, CR, LF, \"*\" and the like before\n"
           "                    every answer: a line that damages framing\n"
           "  --off             a TNC switched off: nothing is ever answered\n"
           "  --no-answer CMD   never answer that command (repeatable)\n"
           "  --script FILE     scripted radio users (see radio_users.h for the steps)\n"
           "  --start-after MS  scripted users begin this long after host or converse mode (500)\n"
           "  --interactive PS  type as the radio user of port P, stream S on stdin\n"
           "  --link-com N      make $XDG_CONFIG_HOME/gullwick/devices/comN point at the pty\n"
           "  --exit-when-done  end once the script has run\n"
           "  --help            show this and end\n"
           "  --version         show the version and end\n"
           "script steps (one a line, \"<port><stream> <step> [argument]\"):\n"
           "  connect CALL, send TEXT, expect TEXT [s], expect-disconnect [s], wait MS,\n"
           "  disconnect, and the TNC's other link messages: connect-colon CALL,\n"
           "  connect-request CALL, busy CALL, retry-exceeded, reconnect CALL\n"
           "  (a disconnect and a connect in one write)\n";
}

std::optional<std::string> parseOptions(int argc, char** argv, SimOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        const auto number = [&](int& into) -> bool {
            const auto text = value();
            if (!text) return false;
            char* end = nullptr;
            const long parsed = std::strtol(text->c_str(), &end, 10);
            if (end == text->c_str() || *end != '\0' || parsed < 0 || parsed > 10'000'000)
                return false;
            into = static_cast<int>(parsed);
            return true;
        };
        if (arg == "--type") {
            const auto type = value();
            if (!type ||
                (*type != "KPC3" && *type != "KPC9612" && *type != "KAM" && *type != "TNC2"))
                return "--type wants KPC3, KPC9612, KAM or TNC2";
            options.type = *type;
        } else if (arg == "--echo") {
            const auto echo = value();
            if (!echo || (*echo != "on" && *echo != "off")) return "--echo wants on or off";
            options.echo = *echo == "on";
        } else if (arg == "--host") {
            options.startInHost = true;
        } else if (arg == "--speed") {
            if (!number(options.speed)) return "--speed wants a number";
        } else if (arg == "--delay") {
            if (!number(options.delayMs)) return "--delay wants milliseconds";
        } else if (arg == "--garbage") {
            if (!number(options.garbage)) return "--garbage wants a count";
        } else if (arg == "--noise") {
            if (!number(options.noise)) return "--noise wants a count";
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--off") {
            options.off = true;
        } else if (arg == "--no-answer") {
            const auto command = value();
            if (!command) return "--no-answer wants a command name";
            options.unanswered.push_back(*command);
        } else if (arg == "--script") {
            const auto path = value();
            if (!path) return "--script wants a file";
            options.script = *path;
        } else if (arg == "--interactive") {
            const auto who = value();
            if (!who || who->size() != 2 || ((*who)[0] != '1' && (*who)[0] != '2'))
                return "--interactive wants a port digit and a stream letter, as 1A";
            options.interactive = *who;
        } else if (arg == "--link-com") {
            if (!number(options.linkCom) || options.linkCom < 1)
                return "--link-com wants a port number";
        } else if (arg == "--start-after") {
            if (!number(options.startAfterMs)) return "--start-after wants milliseconds";
        } else if (arg == "--exit-when-done") {
            options.exitWhenDone = true;
        } else {
            return "unknown option " + std::string(arg);
        }
    }
    return std::nullopt;
}

} // namespace tncsim
