// The serial port and its line parameters, over a real pseudo-terminal reached through the
// device map.
#include "common/node_error.h"
#include "tnc/cdcb.h"
#include "tnc/cserial_port.h"
#include "tnc/device_map.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace gw;

namespace {
template <typename F> long errorNumber(F&& call, std::string* description = nullptr) {
    try {
        call();
    } catch (const NodeError& error) {
        if (description) *description = error.description();
        return error.number();
    }
    return 0;
}

// A pseudo-terminal whose slave is "COM7" through the device map in a private config folder.
struct PtyPort : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
        char name[128] = {};
        // The test keeps its own slave descriptor to look at the terminal's settings.
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        std::filesystem::create_directories(config.path().toStdString() + "/gullwick/devices");
        std::filesystem::create_symlink(name,
                                        config.path().toStdString() + "/gullwick/devices/com7");
        port.CommPort(7);
    }
    void TearDown() override {
        port.PortOpen(false);
        if (master >= 0) ::close(master);
        ::close(slave);
        unsetenv("XDG_CONFIG_HOME");
    }
    // Everything the port has written so far, waiting a bounded time for it.
    std::string drain() {
        std::string out;
        for (int turn = 0; turn < 50; ++turn) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, turn == 0 ? 50 : 5) <= 0) break;
            char buffer[8192];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
    QTemporaryDir config;
    int master = -1;
    int slave = -1;
    CSerialPort port;
};
} // namespace

TEST(CDcb, RejectsValuesOutsideTheirSets) {
    CDcb dcb;
    std::string text;
    EXPECT_EQ(errorNumber([&] { dcb.BaudRate(9601); }, &text),
              static_cast<std::int32_t>(0x80047918u));
    EXPECT_EQ(text, "Invalid baud rate");
    EXPECT_EQ(dcb.BaudRate(), 9600);
    errorNumber([&] { dcb.ByteSize(9); }, &text);
    EXPECT_EQ(text, "Invalid Byte size setting");
    errorNumber([&] { dcb.Parity(5); }, &text);
    EXPECT_EQ(text, "Invalid Parity setting");
    errorNumber([&] { dcb.StopBits(3); }, &text);
    EXPECT_EQ(text, "Invalid Stop bits");
    dcb.BaudRate(256000);
    EXPECT_EQ(dcb.BaudRate(), 256000);
}

TEST(CSerialPortSettings, ParsesFourFields) {
    CSerialPort port;
    port.Settings("4800 , e , 7 , 2");
    EXPECT_EQ(port.Dcb().BaudRate(), 4800);
    EXPECT_EQ(port.Dcb().Parity(), 2);
    EXPECT_EQ(port.Dcb().ByteSize(), 7);
    EXPECT_EQ(port.Dcb().StopBits(), 2);
    port.Settings("9600,n,8,1");
    EXPECT_EQ(port.Dcb().Parity(), 0);
    EXPECT_EQ(port.Dcb().StopBits(), 0);
    port.Settings("1200,M,8,1.5");
    EXPECT_EQ(port.Dcb().Parity(), 3);
    EXPECT_EQ(port.Dcb().StopBits(), 1);
    port.Settings("2400,X,8,3");
    EXPECT_EQ(port.Dcb().Parity(), 0) << "an unknown parity letter is none";
    EXPECT_EQ(port.Dcb().StopBits(), 0) << "unknown stop bits are one";
}

TEST(CDcb, FramingReachesTermios) {
    CDcb dcb;
    dcb.ByteSize(7);
    dcb.Parity(1);
    termios tio{};
    dcb.fillTermios(tio);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    dcb.Parity(4);
    dcb.Flags(kFlagsNoFlowControl);
    dcb.fillTermios(tio);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST(CSerialPortSettings, WrongFieldCountChangesNothing) {
    CSerialPort port;
    port.Settings("4800,E,7");
    port.Settings("4800,E,7,2,1");
    EXPECT_EQ(port.Dcb().BaudRate(), 9600);
    EXPECT_EQ(port.Dcb().Parity(), 0);
}

TEST(CSerialPortSettings, RejectedBaudKeepsLaterFields) {
    CSerialPort port;
    std::string text;
    EXPECT_NE(errorNumber([&] { port.Settings("9601,E,7,2"); }, &text), 0);
    EXPECT_EQ(text, "Invalid baud rate");
    EXPECT_EQ(port.Dcb().Parity(), 0);
    EXPECT_EQ(port.Dcb().ByteSize(), 8);
    EXPECT_NE(errorNumber([&] { port.Settings("fast,N,8,1"); }), 0)
        << "a baud rate that is no number";
}

TEST(CSerialPortSettings, FlowControlFlags) {
    CSerialPort port;
    EXPECT_EQ(port.Dcb().Flags(), 0x2015u);
    port.FlowControl(false);
    EXPECT_EQ(port.Dcb().Flags(), 0x1011u);
    port.FlowControl(true);
    EXPECT_EQ(port.Dcb().Flags(), 0x2015u);
}

TEST(CSerialPortClosed, DropsTextAndReadsNothing) {
    CSerialPort port;
    port.DataToSend("lost");
    EXPECT_EQ(port.pendingOutput(), 0u);
    EXPECT_EQ(port.DataToReceive(), "");
    EXPECT_FALSE(port.CTS_ON());
    EXPECT_FALSE(port.PortOpen());
}

TEST(DeviceMap, FallsBackToBuiltInPorts) {
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    EXPECT_EQ(commDevicePath(3), "/dev/ttyS2");
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(PtyPort, MissingDeviceRaisesOpenError) {
    port.CommPort(99);
    std::string text;
    EXPECT_EQ(errorNumber([&] { port.PortOpen(true); }, &text), -2147190494);
    EXPECT_EQ(text, "Unable to open communications device");
    EXPECT_FALSE(port.PortOpen());
}

TEST_F(PtyPort, LineParametersReachTheTerminal) {
    port.Settings("4800,E,7,2");
    port.FlowControl(true);
    port.PortOpen(true);
    ASSERT_TRUE(port.PortOpen());
    termios tio{};
    ASSERT_EQ(tcgetattr(slave, &tio), 0);
    // A pseudo-terminal keeps 8 bits without parity whatever it is told; the rest shows.
    EXPECT_EQ(cfgetospeed(&tio), B4800);
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_lflag & ECHO);

    port.PortOpen(false);
    port.Settings("9600,S,8,1");
    port.FlowControl(false);
    port.PortOpen(true);
    port.PortOpen(true); // reopening an open port
    ASSERT_EQ(tcgetattr(slave, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_TRUE(tio.c_cflag & CMSPAR);
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
}

TEST_F(PtyPort, LongSendLeavesInChunksOfFourThousand) {
    port.PortOpen(true);
    std::string text;
    for (int i = 0; i < 9000; ++i)
        text += static_cast<char>('a' + i % 26);
    port.DataToSend(text);
    const std::string first = drain();
    EXPECT_EQ(first.size(), 4000u);
    EXPECT_EQ(port.DataToReceive(), "");
    const std::string second = drain();
    EXPECT_EQ(second.size(), 4000u);
    port.Poll();
    const std::string third = drain();
    EXPECT_EQ(third.size(), 1000u);
    EXPECT_EQ(first + second + third, text);
    EXPECT_EQ(port.pendingOutput(), 0u);
}

TEST_F(PtyPort, TextTheDeviceCannotTakeYetStaysBuffered) {
    port.PortOpen(true);
    // Nobody reads the master: the terminal's queue fills and the rest must wait, in order.
    std::string sent;
    for (int i = 0; i < 400 && port.pendingOutput() == 0; ++i) {
        const std::string block =
            std::to_string(i) + std::string(990, static_cast<char>('a' + i % 26)) + "|";
        sent += block;
        port.DataToSend(block);
    }
    ASSERT_GT(port.pendingOutput(), 0u) << "the queue never filled";
    port.DataToSend("tail");
    sent += "tail";
    std::string got;
    for (int turn = 0; turn < 2000 && got.size() < sent.size(); ++turn) {
        got += drain();
        port.Poll();
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(port.pendingOutput(), 0u);
}

TEST_F(PtyPort, ReadsReturnAtOnceWithAtMostAThousandBytes) {
    port.PortOpen(true);
    EXPECT_EQ(port.DataToReceive(), "");
    const std::string text(2500, '\xC0');
    ASSERT_EQ(::write(master, text.data(), text.size()), 2500);
    std::string got;
    for (int turn = 0; turn < 100 && got.size() < text.size(); ++turn) {
        pollfd p{master, 0, 0};
        ::poll(&p, 1, 2);
        const std::string piece = port.DataToReceive();
        EXPECT_LE(piece.size(), 1000u);
        got += piece;
    }
    EXPECT_EQ(got, text) << "bytes above 0x7F arrive unchanged";
}

TEST_F(PtyPort, UnpluggedDeviceRaisesReadFailure) {
    port.PortOpen(true);
    ::close(master);
    master = -1;
    std::string text;
    EXPECT_EQ(errorNumber([&] { port.DataToReceive(); }, &text), -2147190491);
    EXPECT_EQ(text, "Failure on Comm device read operation");
    port.DataToSend("still accepted"); // a failing write must not block later ones
    port.DataToSend("and more");
    EXPECT_EQ(port.pendingOutput(), 0u);
}
