// The private network namespace of a test process, and the ping control's stepped clock.
#include "private_network.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sched.h>

namespace gwtest {
namespace {
std::string& problem() {
    static std::string text = "the private network namespace was not set up";
    return text;
}
bool g_inside = false;
} // namespace

bool enterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        problem() = std::string("cannot make a private network namespace (needs root): ") +
                    std::strerror(errno);
        return false;
    }
    // Children forked from this thread share its namespace.
    if (std::system("ip link set lo up && ip route add unreachable 10.9.0.0/24") != 0) {
        problem() = "cannot set up loopback and the unreachable route with ip";
        return false;
    }
    g_inside = true;
    problem().clear();
    return true;
}

bool inPrivateNetwork() {
    return g_inside;
}
const std::string& privateNetworkProblem() {
    return problem();
}

bool ignoreEchoRequests(bool ignore) {
    if (!g_inside) return false;
    const std::string command =
        std::string("sysctl -qw net.ipv4.icmp_echo_ignore_all=") + (ignore ? "1" : "0");
    return std::system(command.c_str()) == 0;
}

bool SteppedPingPump::step(std::chrono::milliseconds limit) {
    ++steps;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_clock.ticks += static_cast<std::uint32_t>(limit.count());
    return true;
}

} // namespace gwtest
