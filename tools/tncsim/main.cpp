// tncsim: runs one simulated TNC on a pseudo-terminal, prints the pty's path, plays the radio
// users and prints what they hear. Ends on SIGINT/SIGTERM, or after the script when asked;
// --help and --version (for every type) answer and end.
#include "agw_sim.h"
#include "common/paths.h"
#include "kantronics_sim.h"
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
} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version") {
            std::cout << "tncsim (Gullwick) " GULLWICK_VERSION "\n";
            return 0;
        }
    if (isAgwType(argc, argv)) return agwMain(argc, argv);
    SimOptions options;
    if (const auto error = parseOptions(argc, argv, options)) {
        std::cerr << "tncsim: " << *error << "\n" << usage();
        return 2;
    }
    if (options.help) {
        std::cout << usage();
        return 0;
    }
    SimLine line(SimLine::Behaviour{options.speed, std::chrono::milliseconds(options.delayMs),
                                    options.garbage, options.off, options.noise});
    if (!line.open()) {
        std::perror("tncsim: openpty");
        return 1;
    }
    std::unique_ptr<SimTnc> tnc;
    if (options.type == "TNC2") {
        tnc = std::make_unique<Tnc2Sim>(
            line, Tnc2Sim::Options{options.echo.value_or(true), options.unanswered});
    } else {
        const auto model = options.type == "KPC3"      ? KantronicsSim::Model::Kpc3
                           : options.type == "KPC9612" ? KantronicsSim::Model::Kpc9612
                                                       : KantronicsSim::Model::Kam;
        tnc = std::make_unique<KantronicsSim>(
            line, KantronicsSim::Options{model, options.echo.value_or(true), options.startInHost,
                                         options.unanswered});
    }
    RadioUsers users(*tnc, print);
    tnc->toUser = [&](int port, char stream, const std::string& text) {
        users.fromNode(port, stream, text);
    };
    tnc->droppedByNode = [&](int port, char stream) { users.droppedByNode(port, stream); };
    tnc->log = [](const std::string& text) { print("tnc: " + RadioUsers::visible(text)); };
    if (!options.script.empty()) {
        std::string error;
        if (!users.loadScript(options.script, error)) {
            std::cerr << "tncsim: " << error << "\n";
            return 2;
        }
    }
    if (!options.interactive.empty())
        users.setInteractive(options.interactive[0] - '0', options.interactive[1]);

    std::string link;
    if (options.linkCom > 0) {
        const std::string folder = gw::configFolder() + "/devices";
        link = folder + "/com" + std::to_string(options.linkCom);
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        std::filesystem::remove(link, error);
        std::filesystem::create_symlink(line.slaveName(), link, error);
        if (error) {
            std::cerr << "tncsim: cannot link " << link << ": " << error.message() << "\n";
            return 1;
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    print("tncsim " + options.type + " on " + line.slaveName() +
          (link.empty() ? "" : " as " + link));

    std::string typed;
    bool stdinOpen = !options.interactive.empty();
    std::optional<Clock::time_point> workingSince;
    while (g_stop == 0) {
        if (tnc->working() && !workingSince) workingSince = Clock::now();
        if (workingSince &&
            Clock::now() - *workingSince >= std::chrono::milliseconds(options.startAfterMs))
            users.start();
        auto wait = std::min(line.flush(), users.run());
        if (!users.started() && workingSince) wait = std::min(wait, std::chrono::milliseconds(20));
        if (options.exitWhenDone && users.started() && users.scriptDone() &&
            line.flush().count() >= 1000)
            break;
        pollfd fds[2] = {{line.masterFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, stdinOpen ? 2 : 1, static_cast<int>(wait.count()));
        if (ready < 0) continue;
        if (fds[0].revents & POLLIN) {
            std::string received;
            if (!line.receive(received)) break;
            tnc->fromHost(received);
        }
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buffer[1024];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;
                continue;
            }
            typed.append(buffer, static_cast<std::size_t>(n));
            for (auto at = typed.find('\n'); at != std::string::npos; at = typed.find('\n')) {
                users.typed(typed.substr(0, at));
                typed.erase(0, at + 1);
            }
        }
    }
    if (!link.empty()) {
        std::error_code error;
        std::filesystem::remove(link, error);
    }
    print("tncsim done, failures " + std::to_string(users.failures()));
    return users.failures() == 0 ? 0 : 3;
}
