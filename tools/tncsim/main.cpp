// tncsim: runs one simulated TNC (on a pseudo-terminal or a TCP port), prints where it is, plays
// the radio users and prints what they hear. Ends on SIGINT/SIGTERM, or after the script when
// asked; --help and --version answer and end.
#include "agw_client.h"
#include "agw_sim.h"
#include "common/paths.h"
#include "kantronics_sim.h"
#include "kiss_sim.h"
#include "radio_users.h"
#include "sim_options.h"
#include "tnc2_sim.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <string_view>
#include <unistd.h>

using namespace tncsim;

namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

void print(const std::string& line) {
    std::cout << line << std::endl;
}

// The simulated TNC of the chosen type, ready to run; `where` becomes the first line printed.
std::unique_ptr<SimTnc> makeTnc(const SimOptions& options, SimLine* line, std::string& where) {
    where = "tncsim " + options.type + " on " + (line ? line->slaveName() : "");
    if (options.type == "TNC2")
        return std::make_unique<Tnc2Sim>(
            *line, Tnc2Sim::Options{options.echo.value_or(true), options.unanswered});
    if (options.type == "KISS") {
        auto kiss = std::make_unique<KissSim>(line, options.kiss);
        if (line) return kiss;
        if (!kiss->listen()) {
            std::perror("tncsim: listen");
            return nullptr;
        }
        where += "127.0.0.1:" + std::to_string(kiss->tcpPort());
        return kiss;
    }
    if (options.type == "AGW" && options.agwClientPort != 0) {
        auto client = std::make_unique<AgwClient>(options.agwNode);
        if (!client->connectTo(options.agwClientHost, options.agwClientPort)) {
            std::cerr << "tncsim: no AGW server at " << options.agwClientHost << ":"
                      << options.agwClientPort << "\n";
            return nullptr;
        }
        where = "tncsim AGW users on " + options.agwClientHost + ":" +
                std::to_string(options.agwClientPort);
        return client;
    }
    if (options.type == "AGW") {
        auto server = std::make_unique<AgwSim>(options.agw);
        if (!server->listen()) {
            std::perror("tncsim: listen");
            return nullptr;
        }
        where += "127.0.0.1:" + std::to_string(server->port());
        return server;
    }
    const auto model = options.type == "KPC3"      ? KantronicsSim::Model::Kpc3
                       : options.type == "KPC9612" ? KantronicsSim::Model::Kpc9612
                                                   : KantronicsSim::Model::Kam;
    return std::make_unique<KantronicsSim>(
        *line, KantronicsSim::Options{model, options.echo.value_or(true), options.startInHost,
                                      options.unanswered});
}

// $XDG_CONFIG_HOME/gullwick/devices/comN pointing at the pty; empty when not asked for.
std::optional<std::string> linkCom(int number, const std::string& target) {
    if (number <= 0) return "";
    const std::string folder = gw::configFolder() + "/devices";
    const std::string link = folder + "/com" + std::to_string(number);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(target, link, error);
    if (!error) return link;
    std::cerr << "tncsim: cannot link " << link << ": " << error.message() << "\n";
    return std::nullopt;
}
} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version") {
            std::cout << "tncsim (Gullwick) " GULLWICK_VERSION "\n";
            return 0;
        }
    SimOptions options;
    if (const auto error = parseOptions(argc, argv, options)) {
        std::cerr << "tncsim: " << *error << "\n" << usage();
        return 2;
    }
    if (options.help) {
        std::cout << usage();
        return 0;
    }
    std::unique_ptr<SimLine> line;
    if (options.onPty()) {
        line = std::make_unique<SimLine>(
            SimLine::Behaviour{options.speed, std::chrono::milliseconds(options.delayMs),
                               options.garbage, options.off, options.noise});
        if (!line->open()) {
            std::perror("tncsim: openpty");
            return 1;
        }
    }
    std::string where;
    const auto tnc = makeTnc(options, line.get(), where);
    if (!tnc) return 1;
    RadioUsers users(*tnc, print);
    if (!options.script.empty()) {
        std::string error;
        if (!users.loadScript(options.script, error)) {
            std::cerr << "tncsim: " << error << "\n";
            return 2;
        }
    }
    if (!options.interactive.empty())
        users.setInteractive(options.interactive[0] - '0', options.interactive[1]);
    const auto link = linkCom(options.linkCom, line ? line->slaveName() : "");
    if (!link) return 1;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    print(where + (link->empty() ? "" : " as " + *link));

    std::string typed;
    bool stdinOpen = !options.interactive.empty();
    std::optional<Clock::time_point> workingSince;
    while (g_stop == 0) {
        if (tnc->working() && !workingSince) workingSince = Clock::now();
        const auto startAt =
            workingSince.value_or(Clock::now()) + std::chrono::milliseconds(options.startAfterMs);
        if (workingSince && Clock::now() >= startAt) users.start();
        // The TNC's timers first (acknowledgements due), then the users' next steps.
        const auto tncWait = tnc->service();
        auto wait = std::min(tncWait, users.run());
        if (line) wait = std::min(wait, line->flush());
        if (!users.started() && workingSince)
            wait = std::min(wait,
                            std::chrono::ceil<std::chrono::milliseconds>(startAt - Clock::now()));
        if (options.exitWhenDone && users.started() && users.scriptDone() && tnc->idle() &&
            (!line || line->flush().count() >= 1000))
            break;
        std::vector<pollfd> fds;
        if (line) fds.push_back({line->masterFd(), POLLIN, 0});
        tnc->addPollFds(fds);
        if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) < 0) continue;
        if (line && (fds.front().revents & POLLIN)) {
            std::string received;
            if (!line->receive(received)) break;
            tnc->fromHost(received);
        }
        if (stdinOpen && (fds.back().revents & (POLLIN | POLLHUP))) {
            char buffer[1024];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) stdinOpen = false;
            if (n > 0) typed.append(buffer, static_cast<std::size_t>(n));
            for (auto at = typed.find('\n'); at != std::string::npos; at = typed.find('\n')) {
                users.typed(typed.substr(0, at));
                typed.erase(0, at + 1);
            }
        }
        if (!tnc->handle(fds)) break;
    }
    if (link && !link->empty()) {
        std::error_code error;
        std::filesystem::remove(*link, error);
    }
    print("tncsim done, failures " + std::to_string(users.failures()));
    return users.failures() == 0 ? 0 : 3;
}
