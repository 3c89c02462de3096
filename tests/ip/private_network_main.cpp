// GoogleTest main for tests run in a private network namespace, with a QApplication on the
// offscreen platform.
#include "private_network.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    gwtest::enterPrivateNetwork();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
