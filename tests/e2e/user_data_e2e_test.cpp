// A radio user's text on its way through the node, for a Kantronics in host mode on a noisy
// line and a TNC2 in converse mode: messages keep their own lines, link messages never become
// text, a body full of the TNC2's converse-mode control characters comes back byte for byte,
// and a caller who follows another in the same read gets a mailbox of their own.
#include "node_rig.h"

#include <QRegularExpression>

namespace {
// Every character a TNC2 acts upon in converse mode (COMMAND, PASS, the node's SENDPAC,
// STREAMSW with a letter, CANLINE, CANPAC, both DELETEs, REDISPLA, START, STOP), and the two
// host-mode framing bytes.
constexpr const char* kSpecials =
    R"(a\x03b\x16c\x01d|Be\x18f\x19g\x08h\x7Fi\x12j\x11k\x13l\xC0m\xDBn)";

std::string script(const std::string& connect) {
    return "1A " + connect + R"( N1CALL
1A expect SMS> 30
1A send SP N3CALL
1A expect : 30
1A send First
1A expect /EX 30
1A send First line
1A connect-request N9CALL
1A busy N9CALL
1A send Second line
1A send /EX
1A expect SMS> 30
1A send SP N3CALL
1A expect : 30
1A send Second
1A expect /EX 30
1A send Only this
1A send /EX
1A expect SMS> 30
1A send SP N4CALL
1A expect : 30
1A send Specials
1A expect /EX 30
1A send )" +
           kSpecials + R"(
1A send /EX
1A expect SMS> 30
1A reconnect N4CALL
1A expect SMS> 30
1A send LM
1A expect SMS> 30
1A send R 1
1A expect Subject: Specials\r)" +
           kSpecials + R"(\r\rSMS> 30
1A send LM
1A expect SMS> 30
1A send B
1A expect-disconnect 30
)";
}

struct Tnc {
    const char* type;
    const char* connect; // the TNC's wording of a connect
    const char* noise;   // bytes of line noise before everything the TNC sends
    friend void PrintTo(const Tnc& tnc, std::ostream* out) { *out << tnc.type; }
};

class UserData : public gwtest::NodeRig, public testing::WithParamInterface<Tnc> {
  protected:
    void SetUp() override { startServer({"--node", "N0CALL:SECRET"}); }
    std::string stored(const std::string& call, const std::string& mid) {
        return gwtest::exchange(smsd->port(), "R|N0CALL|SECRET|" + call + "|" + mid + "|\r\n")
            .reply;
    }
};
} // namespace

TEST_P(UserData, EachMessageKeepsItsOwnLinesAndTheNextCallerHisOwnMailbox) {
    const Tnc tnc = GetParam();
    writeSettings(tnc.type, "127.0.0.1");
    // The TNC2 adds a line feed to every line: the node must still read commands and text.
    QFile startup(data() + "TNC2.aps");
    ASSERT_TRUE(startup.open(QIODevice::WriteOnly));
    startup.write("ECHO OFF\nAUTOLF ON\nSTREAMSW $7C\nSENDPAC $01\nUSERS 1\n");
    startup.close();
    startTnc({"--type", tnc.type, "--noise", tnc.noise}, script(tnc.connect).c_str());
    startNode();

    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 90000))
        << simOutput << node.readAll().toStdString();
    EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    // The TNC2 stayed in converse mode until the user's log-off made the node leave it.
    const std::size_t bye = simOutput.find("1A >>> B\\r");
    EXPECT_EQ(simOutput.rfind("tnc: command mode", bye), std::string::npos) << simOutput;

    const std::string got = received();
    std::vector<std::string> mids;
    auto matches = QRegularExpression("new MID (SMS_[0-9A-Z]{8}) to N3CALL")
                       .globalMatch(QString::fromStdString(got));
    while (matches.hasNext())
        mids.push_back(matches.next().captured(1).toStdString());
    ASSERT_EQ(mids.size(), 2u) << got;
    EXPECT_NE(stored("N3CALL", mids[0]).find("\r\n\r\nFirst line\rSecond line\r\r\n/EX\r\n"),
              std::string::npos)
        << stored("N3CALL", mids[0]);
    EXPECT_NE(stored("N3CALL", mids[1]).find("\r\n\r\nOnly this\r\r\n/EX\r\n"), std::string::npos)
        << stored("N3CALL", mids[1]);
    // N4CALL, who came in on N1CALL's stream, listed and read only the one message to N4CALL.
    const std::size_t after = got.find("Welcome to N0CALL", got.find("Welcome to N0CALL") + 1);
    ASSERT_NE(after, std::string::npos) << got;
    EXPECT_EQ(got.find("(2) ", after), std::string::npos) << got;
    EXPECT_NE(got.find("From: N1CALL\\rTo: N4CALL\\r", after), std::string::npos) << got;
}

INSTANTIATE_TEST_SUITE_P(
    Tncs, UserData, testing::Values(Tnc{"KPC3", "connect", "3"}, Tnc{"TNC2", "connect-colon", "0"}),
    [](const testing::TestParamInfo<Tnc>& info) { return std::string(info.param.type); });
