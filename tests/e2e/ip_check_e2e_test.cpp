// The IP check a new radio user receives, end to end: brevane pings the short-message server
// with the ping control it registers for itself, on loopback against smsd, and inside a
// private network namespace where the server's address has no route.
#include "node_rig.h"

namespace {
constexpr const char* kScript = "1A connect N1CALL\n"
                                "1A expect SMS> 30\n"
                                "1A send B\n"
                                "1A expect-disconnect 30\n";

class IpCheckEndToEnd : public gwtest::NodeRig {
  protected:
    void SetUp() override { startServer({"--node", "N0CALL:SECRET"}); }
    std::string registeredLibrary() const {
        QSettings classes(config() + "/gullwick/classes.ini", QSettings::IniFormat);
        for (const QString& key : classes.allKeys())
            if (key.contains("InprocServer32")) return classes.value(key).toString().toStdString();
        return "";
    }
};

TEST_F(IpCheckEndToEnd, ANewUserHearsTheLinkVerifiedAgainstSmsdOnLoopback) {
    writeSettings("KPC3", "127.0.0.1");
    startTnc({"--type", "KPC3"}, kScript);
    startNode();
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000))
        << simOutput << node.readAll().toStdString();
    EXPECT_EQ(received(), "Welcome to N0CALL\\r\\rIP connection verified.\\rSMS>");
    EXPECT_NE(registeredLibrary().find("libping.so"), std::string::npos)
        << "brevane registered the ping library it found";
}

TEST_F(IpCheckEndToEnd, AServerAddressWithoutARouteFailsTheCheck) {
    if (QProcess::execute("unshare", {"-n", "true"}) != 0)
        GTEST_SKIP() << "needs root and unshare to make a private network namespace";
    writeSettings("KPC3", "10.9.0.1");
    startTnc({"--type", "KPC3"}, kScript);
    startNode(true);
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000))
        << simOutput << node.readAll().toStdString();
    EXPECT_EQ(received(),
              "Welcome to N0CALL\\r"
              "\\rIP connection failed. Only Help, Info & Bye commands available.\\rSMS>");
}

} // namespace
