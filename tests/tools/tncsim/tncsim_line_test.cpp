// The running simulator, driven as a node would drive a real TNC: bytes written to its pty,
// answers read back with bounded waits, and what its radio users heard read from its output.
#include "sim_process.h"

namespace {
using tncsimtest::Sim;
const std::string FEND(1, '\xC0');

void enterHost(Sim& sim) {
    sim.write("INT HOST\r");
    sim.read("cmd:");
    sim.write("RESET\r");
    ASSERT_NE(sim.read(FEND + "S00" + FEND).find(FEND + FEND + "S00" + FEND), std::string::npos);
}
} // namespace

TEST(TncsimKantronics, TerminalModeEchoesAndAnswers) {
    Sim sim({"--type", "KPC3"});
    ASSERT_GE(sim.fd, 0);
    sim.write("PACLEN\r");
    EXPECT_EQ(sim.read("cmd:"), "PACLEN\r\nPACLEN 128\r\ncmd:");
    sim.write("PACLEN 64\r");
    EXPECT_EQ(sim.read("cmd:"), "PACLEN 64\r\nPACLEN was 128\r\ncmd:");
    sim.write("FROB\r");
    EXPECT_NE(sim.read("cmd:").find("EH?"), std::string::npos);
    sim.write("DISPLAY\r");
    const std::string listing = sim.read("cmd:");
    EXPECT_NE(listing.find("PACLEN 64\r\n"), std::string::npos);
    EXPECT_NE(listing.find("STREAMSW $7C (|)\r\n"), std::string::npos);
}

TEST(TncsimKantronics, EchoOffAnswersWithoutTheCommand) {
    Sim sim({"--type", "KPC3", "--echo", "off"});
    sim.write("MAXUSERS\r");
    EXPECT_EQ(sim.read("cmd:"), "\r\nMAXUSERS 10\r\ncmd:");
}

TEST(TncsimKantronics, HostModeFramesEscapedBothWays) {
    Sim sim({"--type", "KPC9612"}, "2C connect N0CALL\n2C send x\\xC0y\\xDBz\n2C expect END\n");
    enterHost(sim);
    EXPECT_EQ(sim.read("N0CALL" + FEND), FEND + "S2C*** CONNECTED to N0CALL" + FEND);
    EXPECT_EQ(sim.read("z\r" + FEND), FEND + "D2Cx\xDB\xDCy\xDB\xDDz\r" + FEND);
    sim.write(FEND + "C10PACLEN" + FEND);
    EXPECT_EQ(sim.read("128" + FEND), FEND + "C10PACLEN 128/128" + FEND);
    sim.write(FEND +
              "D2Ca\xDB\xDC"
              "b\xDB\xDD END" +
              FEND);
    EXPECT_NE(sim.output("expect ok").find("2C <<< a\\xC0b\\xDB END"), std::string::npos)
        << sim.printed;
    sim.write(FEND + "C2CD" + FEND);
    EXPECT_EQ(sim.read("DISCONNECTED" + FEND),
              FEND + "C2C" + FEND + FEND + "S2C*** DISCONNECTED" + FEND);
    EXPECT_NE(sim.output("disconnected by node").find("2C disconnected by node"),
              std::string::npos);
}

TEST(TncsimKantronics, QuitReturnsToTerminalMode) {
    Sim sim({"--type", "KAM", "--echo", "off"});
    enterHost(sim);
    sim.write(FEND + "q" + FEND);
    const std::string signOn = sim.read("cmd:");
    EXPECT_NE(signOn.find("KANTRONICS KAM"), std::string::npos);
    sim.write("INTFACE\r");
    EXPECT_NE(sim.read("cmd:").find("INTFACE TERMINAL"), std::string::npos);
}

TEST(TncsimKantronics, StartsInHostModeWhenAsked) {
    Sim sim({"--type", "KPC3", "--host"});
    sim.write("RESET\r");
    EXPECT_EQ(sim.read("cmd:", 300), "") << "typed text means nothing in host mode";
    sim.write(FEND + "C10RESET" + FEND);
    EXPECT_EQ(sim.read("S00" + FEND), FEND + "C10" + FEND + FEND + FEND + "S00" + FEND);
}

TEST(TncsimOptions, SwitchedOffAndUnansweredCommands) {
    Sim off({"--type", "TNC2", "--off"});
    off.write("\r\x03\x03\x03");
    EXPECT_EQ(off.read("cmd:", 300), "");
    Sim quiet({"--type", "KPC3", "--no-answer", "MYCALL"});
    quiet.write("MYCALL\r");
    EXPECT_EQ(quiet.read("cmd:", 300), "MYCALL\r\n") << "the echo, then nothing";
}

TEST(TncsimOptions, SlowLineTakesItsTime) {
    Sim sim({"--type", "KPC3", "--echo", "off", "--speed", "1200", "--delay", "100"});
    const auto start = std::chrono::steady_clock::now();
    sim.write("DISPLAY\r");
    const std::string listing = sim.read("cmd:", 5000);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_NE(listing.find("cmd:"), std::string::npos);
    // 1200 bit/s carries 120 characters a second.
    EXPECT_GE(took, std::chrono::milliseconds(100 + static_cast<long>(listing.size()) * 1000 / 120 -
                                              150));
}

TEST(TncsimOptions, BadScriptIsRefused) {
    QTemporaryDir dir;
    QFile file(dir.filePath("bad.script"));
    file.open(QIODevice::WriteOnly);
    file.write("1A fly away\n");
    file.close();
    QProcess process;
    process.start(QStringLiteral(TNCSIM_PATH), {"--script", dir.filePath("bad.script")});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_NE(process.readAllStandardError().toStdString().find("unknown step"), std::string::npos);
}

TEST(TncsimTnc2, ConverseModeEchoStreamsAndSendPacket) {
    Sim sim({"--type", "TNC2", "--echo", "off"},
            "1A connect N0CALL\n1B connect N1CALL\n1B send hi\n1B expect END\n");
    sim.write("SENDPAC $01\r");
    EXPECT_NE(sim.read("cmd:").find("SENDPAC was $0D"), std::string::npos);
    sim.write("CONV\r");
    EXPECT_EQ(sim.read("N0CALL\r\n"), "\r\n*** CONNECTED to N0CALL\r\n");
    EXPECT_EQ(sim.read("hi\r\n"), "|B\r\n*** CONNECTED to N1CALL\r\nhi\r\n");
    sim.write("|Bfirst\rline END\x01");
    EXPECT_NE(sim.output("expect ok").find("1B <<< first\\rline END"), std::string::npos)
        << sim.printed;
    sim.write("\x03");
    EXPECT_EQ(sim.read("cmd:"), "\r\ncmd:");
    sim.write("ECHO ON\r");
    sim.read("cmd:");
    sim.write("CONV\r");
    sim.read("CONV\r\n");
    sim.write("|Atyped");
    EXPECT_EQ(sim.read("typed"), "|Atyped") << "a real TNC2 echoes in converse mode too";
}

TEST(TncsimTnc2, ConverseCharactersActUnlessPassedAndLinkMessagesInTheirWording) {
    Sim sim({"--type", "TNC2", "--echo", "off"},
            "1A connect N0CALL\n1A expect END\n1A connect-request N9CALL\n1A busy N9CALL\n"
            "1A reconnect N2CALL\n1A connect-colon N3CALL\n1A retry-exceeded\n");
    sim.write("SENDPAC $01\r");
    sim.read("cmd:");
    sim.write("CONV\r");
    sim.read("N0CALL\r\n");
    // CANPAC drops "x", PASS makes COMMAND, SENDPAC and STREAMSW literal, DELETE eats "d".
    sim.write("|Ax\x19"
              "a\x16\x03"
              "b\x16\x01"
              "c\x16|d\x08"
              "e END\x01");
    EXPECT_NE(sim.output("expect ok").find("1A <<< a\\x03b\\x01c|e END"), std::string::npos)
        << sim.printed;
    EXPECT_EQ(sim.read("exceeded\r\n\r\n*** DISCONNECTED\r\n", 3000),
              "\r\n*** connect request: N9CALL\r\n\r\n*** N9CALL busy\r\n"
              "\r\n*** DISCONNECTED\r\n\r\n*** CONNECTED to N2CALL\r\n"
              "\r\n*** CONNECTED to: N3CALL\r\n"
              "\r\n*** retry count exceeded\r\n\r\n*** DISCONNECTED\r\n");
    sim.write("text\x03");
    EXPECT_EQ(sim.read("cmd:"), "\r\ncmd:") << "an unescaped COMMAND leaves converse mode";
}

TEST(TncsimOptions, HelpListsOptionsAndSteps) {
    QProcess process;
    process.start(QStringLiteral(TNCSIM_PATH), {"--help"});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 0);
    const std::string help = process.readAllStandardOutput().toStdString();
    for (const char* word : {"--noise", "--type", "reconnect CALL", "connect-colon"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}
