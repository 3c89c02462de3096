// Waits let events run and never spin.
#include "common/event_pump.h"

#include <QCoreApplication>
#include <QTimer>
#include <ctime>
#include <gtest/gtest.h>

using namespace gw;
using namespace std::chrono_literals;

namespace {
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}
} // namespace

TEST(EventPump, QtWaitRunsTimersAndDoesNotSpin) {
    app();
    QtEventPump pump;
    SystemClock clock;
    bool fired = false;
    QTimer::singleShot(100, [&] { fired = true; });
    const double cpuBefore = cpuSeconds();
    EXPECT_TRUE(waitUntil(pump, clock, 2000ms, [&] { return fired; }));
    EXPECT_FALSE(waitUntil(pump, clock, 300ms, [] { return false; }));
    EXPECT_GE(clock.elapsed(), 400ms);
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.1) << "a 0.4 s wait must not burn CPU";
}
