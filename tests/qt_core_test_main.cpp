// GoogleTest main for tests of code without windows: a Qt Core application, for timers,
// socket notifiers and queued events.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
