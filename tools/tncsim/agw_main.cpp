// tncsim --type AGW: the simulated modem program's own options and main loop; the radio users'
// options are tncsim's shared ones.
#include "agw_client.h"
#include "agw_sim.h"
#include "radio_users.h"
#include "sim_options.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace tncsim {
namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

void print(const std::string& line) {
    std::cout << line << std::endl;
}

const char* agwUsage() {
    return "usage: tncsim --type AGW [--agw-port N] [--agw-ports 1|2] [--agw-rate BYTES/S]\n"
           "              [--agw-drop-queued] [--agw-refuse] [--agw-malformed MS]\n"
           "              [--agw-vanish MS] [--agw-return MS] [--script FILE]\n"
           "              [--start-after MS] [--interactive 1A] [--exit-when-done]\n"
           "       tncsim --type AGW --help | --version\n"
           "  --agw-port N        listen on 127.0.0.1:N (default: a free port, printed)\n"
           "  --agw-rate B        each link delivers B bytes a second to its user (0: at once)\n"
           "  --agw-drop-queued   a disconnect throws away queued data, as direwolf does\n"
           "  --agw-refuse        refuse every registration\n"
           "  --agw-malformed MS  MS after the first registration, send a broken frame\n"
           "  --agw-vanish MS     MS after the first registration, close every connection\n"
           "  --agw-return MS     after vanishing, listen again MS later\n"
           "  --agw-client H:P    instead: the users work the real modem program at H:P\n"
           "  --agw-node CALL     with --agw-client: the node's call the users link to (N0CALL)\n";
}

// Takes the AGW options out of the arguments; the rest is left for the shared parser.
struct ClientOptions {
    std::string host;
    int port = 0;
    std::string node = "N0CALL";
};

std::optional<std::string> takeAgwOptions(std::vector<char*>& args, AgwSimOptions& options,
                                          ClientOptions& client) {
    std::vector<char*> rest{args[0]};
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto number = [&](int& into, int low, int high) -> bool {
            if (i + 1 >= args.size()) return false;
            char* end = nullptr;
            const long value = std::strtol(args[++i], &end, 10);
            if (*end != '\0' || value < low || value > high) return false;
            into = static_cast<int>(value);
            return true;
        };
        if (arg == "--type") {
            ++i; // AGW, or we would not be here
        } else if (arg == "--agw-port") {
            if (!number(options.tcpPort, 0, 65535)) return "--agw-port wants a TCP port";
        } else if (arg == "--agw-ports") {
            if (!number(options.radioPorts, 1, 2)) return "--agw-ports wants 1 or 2";
        } else if (arg == "--agw-rate") {
            if (!number(options.rate, 0, 10'000'000)) return "--agw-rate wants bytes a second";
        } else if (arg == "--agw-drop-queued") {
            options.dropQueued = true;
        } else if (arg == "--agw-refuse") {
            options.refuse = true;
        } else if (arg == "--agw-malformed") {
            if (!number(options.malformedAfterMs, 0, 10'000'000)) return "--agw-malformed wants MS";
        } else if (arg == "--agw-vanish") {
            if (!number(options.vanishAfterMs, 0, 10'000'000)) return "--agw-vanish wants MS";
        } else if (arg == "--agw-client") {
            const std::string where = i + 1 < args.size() ? args[++i] : "";
            const auto colon = where.rfind(':');
            client.host = where.substr(0, colon);
            client.port = colon == std::string::npos ? 0 : std::atoi(where.c_str() + colon + 1);
            if (colon == std::string::npos || client.port <= 0 || client.port > 65535)
                return "--agw-client wants host:port";
        } else if (arg == "--agw-node") {
            if (i + 1 >= args.size()) return "--agw-node wants a call sign";
            client.node = args[++i];
        } else if (arg == "--agw-return") {
            if (!number(options.returnAfterMs, 0, 10'000'000)) return "--agw-return wants MS";
        } else {
            rest.push_back(args[i]);
        }
    }
    args = rest;
    return std::nullopt;
}
} // namespace

bool isAgwType(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string_view(argv[i]) == "--type" && std::string_view(argv[i + 1]) == "AGW")
            return true;
    return false;
}

int agwMain(int argc, char** argv) {
    AgwSimOptions agwOptions;
    ClientOptions clientOptions;
    std::vector<char*> args(argv, argv + argc);
    SimOptions options;
    std::optional<std::string> error = takeAgwOptions(args, agwOptions, clientOptions);
    if (!error) error = parseOptions(static_cast<int>(args.size()), args.data(), options);
    if (error) {
        std::cerr << "tncsim: " << *error << "\n" << agwUsage();
        return 2;
    }
    if (options.help) {
        std::cout << agwUsage();
        return 0;
    }
    // Either the simulated modem program, or users on a real one.
    std::unique_ptr<AgwSim> server;
    std::unique_ptr<AgwClient> client;
    if (clientOptions.port != 0) {
        client = std::make_unique<AgwClient>(clientOptions.node);
        if (!client->connectTo(clientOptions.host, clientOptions.port)) {
            std::cerr << "tncsim: no AGW server at " << clientOptions.host << ":"
                      << clientOptions.port << "\n";
            return 1;
        }
    } else {
        server = std::make_unique<AgwSim>(agwOptions);
        if (!server->listen()) {
            std::perror("tncsim: listen");
            return 1;
        }
    }
    SimTnc& tnc = server ? static_cast<SimTnc&>(*server) : *client;
    RadioUsers users(tnc, print);
    tnc.toUser = [&](int port, char stream, const std::string& text) {
        users.fromNode(port, stream, text);
    };
    tnc.droppedByNode = [&](int port, char stream) { users.droppedByNode(port, stream); };
    tnc.log = [](const std::string& text) { print("tnc: " + RadioUsers::visible(text)); };
    if (!options.script.empty()) {
        std::string scriptError;
        if (!users.loadScript(options.script, scriptError)) {
            std::cerr << "tncsim: " << scriptError << "\n";
            return 2;
        }
    }
    if (!options.interactive.empty())
        users.setInteractive(options.interactive[0] - '0', options.interactive[1]);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (server)
        print("tncsim AGW on 127.0.0.1:" + std::to_string(server->port()));
    else
        print("tncsim AGW users on " + clientOptions.host + ":" +
              std::to_string(clientOptions.port));

    std::string typed;
    bool stdinOpen = !options.interactive.empty();
    std::optional<Clock::time_point> workingSince;
    while (g_stop == 0) {
        if (tnc.working() && !workingSince) workingSince = Clock::now();
        if (workingSince &&
            Clock::now() - *workingSince >= std::chrono::milliseconds(options.startAfterMs))
            users.start();
        auto wait = users.run();
        if (server) wait = std::min(wait, server->service());
        if (!users.started() && workingSince) wait = std::min(wait, std::chrono::milliseconds(20));
        if (options.exitWhenDone && users.started() && users.scriptDone()) break;
        std::vector<pollfd> fds;
        if (server)
            server->addPollFds(fds);
        else
            client->addPollFds(fds);
        const std::size_t stdinAt = fds.size();
        if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) < 0) continue;
        if (stdinOpen && (fds[stdinAt].revents & (POLLIN | POLLHUP))) {
            char buffer[1024];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;
            } else {
                typed.append(buffer, static_cast<std::size_t>(n));
                for (auto at = typed.find('\n'); at != std::string::npos; at = typed.find('\n')) {
                    users.typed(typed.substr(0, at));
                    typed.erase(0, at + 1);
                }
            }
            fds.resize(stdinAt);
        }
        if (server) {
            server->handle(fds);
        } else if (!client->handle(fds)) {
            print("tnc: the modem program closed the connection");
            break;
        }
    }
    print("tncsim done, failures " + std::to_string(users.failures()));
    return users.failures() == 0 ? 0 : 3;
}

} // namespace tncsim
