// tncsim's command line.
#include "sim_options.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace tncsim {

const char* usage() {
    return "usage: tncsim [--type KPC3|KPC9612|KAM|TNC2] [--echo on|off] [--host]\n"
           "              [--speed BPS] [--delay MS] [--garbage N] [--noise N] [--off]\n"
           "              [--no-answer CMD]... [common options]\n"
           "       tncsim --type AGW [--agw-port N] [--agw-ports 1|2] [--agw-rate BYTES/S]\n"
           "              [--agw-drop-queued] [--agw-refuse] [--agw-malformed MS]\n"
           "              [--agw-vanish MS] [--agw-return MS] [--agw-client H:P [--agw-node "
           "CALL]]\n"
           "              [common options]\n"
           "       tncsim --type KISS [--kiss-tcp PORT] [--node-call CALL] [--echo-own] [--trace]\n"
           "              [--drop PCT] [--dup PCT] [--delay-frames PCT[:MS]] [--seed N]\n"
           "              [--t1 MS] [--t2 MS] [--n2 N] [--window K] [--paclen N] [--sabme]\n"
           "              [line options] [common options]\n"
           "       tncsim --help | --version\n"
           "common options: [--script FILE] [--start-after MS] [--interactive 1A]\n"
           "                [--exit-when-done] [--link-com N] (a pty only)\n"
           "  --host            start in host mode (INTFACE HOST stored), Kantronics only\n"
           "  --echo on|off     echo commands (default on), Kantronics and TNC2\n"
           "  --no-answer CMD   never answer that command (repeatable), Kantronics and TNC2\n"
           "line options, for a TNC on the pty:\n"
           "  --speed BPS       pace answers to the line speed (ten bits a character)\n"
           "  --delay MS        answer every command late\n"
           "  --garbage N       put N noise bytes (0x80-0xBF) before every answer\n"
           "  --noise N         put N bytes of FEND, FESC, CR, LF, \"*\" and the like before\n"
           "                    every answer: a line that damages framing\n"
           "  --off             a TNC switched off: nothing is ever answered\n"
           "  --link-com N      make $XDG_CONFIG_HOME/gullwick/devices/comN point at the pty\n"
           "AGW, a modem program's AGW TCP port:\n"
           "  --agw-port N        listen on 127.0.0.1:N (default: a free port, printed)\n"
           "  --agw-ports 1|2     radio ports offered\n"
           "  --agw-rate B        each link delivers B bytes a second to its user (0: at once)\n"
           "  --agw-drop-queued   a disconnect throws away queued data, as direwolf does\n"
           "  --agw-refuse        refuse every registration\n"
           "  --agw-malformed MS  MS after the first registration, send a broken frame\n"
           "  --agw-vanish MS     MS after the first registration, close every connection\n"
           "  --agw-return MS     after vanishing, listen again MS later\n"
           "  --agw-client H:P    instead: the users work the real modem program at H:P\n"
           "  --agw-node CALL     with --agw-client: the node's call the users link to (N0CALL)\n"
           "KISS, a KISS modem whose users are AX.25 stations:\n"
           "  --kiss-tcp PORT     a KISS TCP server on 127.0.0.1:PORT instead of the pty\n"
           "                      (0: a free port, printed)\n"
           "  --node-call CALL    the node's call the users link to (N0CALL)\n"
           "  --echo-own          send the node's own frames back to it, as some radios do\n"
           "  --trace             print every frame both ways and the channel's doings\n"
           "  --drop PCT          lose that share of frames, both ways\n"
           "  --dup PCT           send that share twice\n"
           "  --delay-frames PCT[:MS]  hold that share back MS (500) so later ones overtake\n"
           "  --seed N            the channel's seed (1): a seed gives the same fates\n"
           "  --t1 MS --t2 MS --n2 N --window K --paclen N\n"
           "                      the users' timers and limits (3000, 0, 10, 4, 128)\n"
           "  --sabme             the users call with SABME (modulo 128), SABM when refused\n"
           "common:\n"
           "  --script FILE     scripted radio users (see radio_users.h for the steps)\n"
           "  --start-after MS  scripted users begin this long after the TNC is working (500)\n"
           "  --interactive PS  type as the radio user of port P, stream S on stdin\n"
           "  --exit-when-done  end once the script has run\n"
           "  --help            show this and end\n"
           "  --version         show the version and end\n"
           "script steps (one a line, \"<port><stream> <step> [argument]\"):\n"
           "  connect CALL, send TEXT, expect TEXT [s], expect-disconnect [s], wait MS,\n"
           "  disconnect, and the TNC's other link messages: connect-colon CALL,\n"
           "  connect-request CALL, busy CALL, retry-exceeded, reconnect CALL\n"
           "  (a disconnect and a connect in one write); KISS only: connect CALL via D1,D2,\n"
           "  vanish, never-ack, raw HEX..., garbage N, flood N\n";
}

namespace {
// Which types an option is for, by its family.
bool allowed(const std::string& family, const SimOptions& options) {
    const std::string& type = options.type;
    if (family == "pty") return options.onPty();
    if (family == "Kantronics") return type == "KPC3" || type == "KPC9612" || type == "KAM";
    if (family == "command mode") return type != "AGW" && type != "KISS";
    return type == family;
}
} // namespace

std::optional<std::string> parseOptions(int argc, char** argv, SimOptions& options) {
    std::vector<std::pair<std::string, std::string>> families; // option, family
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        const auto number = [&](int& into, long low = 0, long high = 10'000'000) -> bool {
            const auto text = value();
            if (!text) return false;
            char* end = nullptr;
            const long parsed = std::strtol(text->c_str(), &end, 10);
            if (end == text->c_str() || *end != '\0' || parsed < low || parsed > high) return false;
            into = static_cast<int>(parsed);
            return true;
        };
        // A share in percent, kept in hundredths of a percent.
        const auto share = [](const std::string& text, int& into) -> bool {
            char* end = nullptr;
            const double percent = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(percent >= 0 && percent <= 100))
                return false;
            into = static_cast<int>(std::lround(percent * 100));
            return true;
        };
        const auto forFamily = [&](const char* family) { families.emplace_back(arg, family); };
        if (arg == "--type") {
            const auto type = value();
            if (!type || (*type != "KPC3" && *type != "KPC9612" && *type != "KAM" &&
                          *type != "TNC2" && *type != "AGW" && *type != "KISS"))
                return "--type wants KPC3, KPC9612, KAM, TNC2, AGW or KISS";
            options.type = *type;
        } else if (arg == "--echo") {
            const auto echo = value();
            if (!echo || (*echo != "on" && *echo != "off")) return "--echo wants on or off";
            options.echo = *echo == "on";
            forFamily("command mode");
        } else if (arg == "--host") {
            options.startInHost = true;
            forFamily("Kantronics");
        } else if (arg == "--no-answer") {
            const auto command = value();
            if (!command) return "--no-answer wants a command name";
            options.unanswered.push_back(*command);
            forFamily("command mode");
        } else if (arg == "--speed") {
            if (!number(options.speed)) return "--speed wants a number";
            forFamily("pty");
        } else if (arg == "--delay") {
            if (!number(options.delayMs)) return "--delay wants milliseconds";
            forFamily("pty");
        } else if (arg == "--garbage") {
            if (!number(options.garbage)) return "--garbage wants a count";
            forFamily("pty");
        } else if (arg == "--noise") {
            if (!number(options.noise)) return "--noise wants a count";
            forFamily("pty");
        } else if (arg == "--off") {
            options.off = true;
            forFamily("pty");
        } else if (arg == "--link-com") {
            if (!number(options.linkCom, 1)) return "--link-com wants a port number";
            forFamily("pty");
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--script") {
            const auto path = value();
            if (!path) return "--script wants a file";
            options.script = *path;
        } else if (arg == "--interactive") {
            const auto who = value();
            if (!who || who->size() != 2 || ((*who)[0] != '1' && (*who)[0] != '2'))
                return "--interactive wants a port digit and a stream letter, as 1A";
            options.interactive = *who;
        } else if (arg == "--start-after") {
            if (!number(options.startAfterMs)) return "--start-after wants milliseconds";
        } else if (arg == "--exit-when-done") {
            options.exitWhenDone = true;
        } else if (arg == "--agw-port") {
            if (!number(options.agw.tcpPort, 0, 65535)) return "--agw-port wants a TCP port";
            forFamily("AGW");
        } else if (arg == "--agw-ports") {
            if (!number(options.agw.radioPorts, 1, 2)) return "--agw-ports wants 1 or 2";
            forFamily("AGW");
        } else if (arg == "--agw-rate") {
            if (!number(options.agw.rate)) return "--agw-rate wants bytes a second";
            forFamily("AGW");
        } else if (arg == "--agw-drop-queued") {
            options.agw.dropQueued = true;
            forFamily("AGW");
        } else if (arg == "--agw-refuse") {
            options.agw.refuse = true;
            forFamily("AGW");
        } else if (arg == "--agw-malformed") {
            if (!number(options.agw.malformedAfterMs)) return "--agw-malformed wants MS";
            forFamily("AGW");
        } else if (arg == "--agw-vanish") {
            if (!number(options.agw.vanishAfterMs)) return "--agw-vanish wants MS";
            forFamily("AGW");
        } else if (arg == "--agw-return") {
            if (!number(options.agw.returnAfterMs)) return "--agw-return wants MS";
            forFamily("AGW");
        } else if (arg == "--agw-client") {
            const std::string where = value().value_or("");
            const auto colon = where.rfind(':');
            options.agwClientHost = where.substr(0, colon);
            options.agwClientPort =
                colon == std::string::npos ? 0 : std::atoi(where.c_str() + colon + 1);
            if (colon == std::string::npos || options.agwClientPort <= 0 ||
                options.agwClientPort > 65535)
                return "--agw-client wants host:port";
            forFamily("AGW");
        } else if (arg == "--agw-node") {
            const auto call = value();
            if (!call) return "--agw-node wants a call sign";
            options.agwNode = *call;
            forFamily("AGW");
        } else if (arg == "--kiss-tcp") {
            if (!number(options.kiss.tcpPort, 0, 65535)) return "--kiss-tcp wants a TCP port";
            forFamily("KISS");
        } else if (arg == "--node-call") {
            const auto call = value();
            if (!call || !ax25::parseAddress(*call))
                return "--node-call wants a call sign, as N0CALL or N0CALL-7";
            options.kiss.nodeCall = *call;
            forFamily("KISS");
        } else if (arg == "--echo-own") {
            options.kiss.echoOwn = true;
            forFamily("KISS");
        } else if (arg == "--trace") {
            options.kiss.trace = true;
            forFamily("KISS");
        } else if (arg == "--drop" || arg == "--dup") {
            const auto text = value();
            if (!text || !share(*text, arg == "--drop" ? options.kiss.channel.drop
                                                       : options.kiss.channel.duplicate))
                return arg + " wants a percentage from 0 to 100";
            forFamily("KISS");
        } else if (arg == "--delay-frames") {
            const std::string text = value().value_or("");
            const auto colon = text.find(':');
            char* end = nullptr;
            if (colon != std::string::npos)
                options.kiss.channel.delayMs =
                    static_cast<int>(std::strtol(text.c_str() + colon + 1, &end, 10));
            if (!share(text.substr(0, colon), options.kiss.channel.delay) ||
                (end != nullptr && (*end != '\0' || end == text.c_str() + colon + 1)) ||
                options.kiss.channel.delayMs < 0 || options.kiss.channel.delayMs > 600'000)
                return "--delay-frames wants a percentage, and milliseconds after a colon";
            forFamily("KISS");
        } else if (arg == "--seed") {
            int seed = 0;
            if (!number(seed, 0, 2'000'000'000)) return "--seed wants a number";
            options.kiss.channel.seed = static_cast<std::uint32_t>(seed);
            forFamily("KISS");
        } else if (arg == "--t1") {
            if (!number(options.kiss.link.t1Ms, 10, 600'000)) return "--t1 wants milliseconds";
            forFamily("KISS");
        } else if (arg == "--t2") {
            if (!number(options.kiss.link.t2Ms, 0, 600'000)) return "--t2 wants milliseconds";
            forFamily("KISS");
        } else if (arg == "--n2") {
            if (!number(options.kiss.link.n2, 1, 100)) return "--n2 wants 1 to 100";
            forFamily("KISS");
        } else if (arg == "--window") {
            if (!number(options.kiss.link.window, 1, 127)) return "--window wants 1 to 127";
            forFamily("KISS");
        } else if (arg == "--paclen") {
            if (!number(options.kiss.link.paclen, 1, 256)) return "--paclen wants 1 to 256";
            forFamily("KISS");
        } else if (arg == "--sabme") {
            options.kiss.link.sabme = true;
            forFamily("KISS");
        } else {
            return "unknown option " + arg;
        }
    }
    for (const auto& [option, family] : families)
        if (!allowed(family, options))
            return option + " is not for --type " + options.type +
                   (options.type == "KISS" && family == "pty" ? " with --kiss-tcp" : "");
    return std::nullopt;
}

} // namespace tncsim
