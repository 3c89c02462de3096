// A Ping control on the fake socket library, the fake clock and the scripted pump.
#pragma once

#include "automation_doubles.h"
#include "fake_net.h"
#include "ping/ping.h"
#include "ping/winsock_state.h"

#include <gtest/gtest.h>

namespace pingtest {

class ControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& state = ping::WinsockState::instance();
        state.reset();
        state.registerLibrary("FAKESOCK.DLL",
                              [n = net] { return std::make_unique<FakeSocketLibrary>(n); });
        state.setPath("FAKESOCK.DLL");
        control = ping::Ping::create(clock, pump);
    }
    void TearDown() override {
        control.reset();
        ping::WinsockState::instance().reset();
    }

    // The error information of the control's last failed call.
    ErrorInfo lastError() {
        ErrorInfo info;
        control->getErrorInfo(&info);
        return info;
    }

    // Answers every request with an echo reply from `from` after `delayMs` of fake time.
    void answerEchoes(const char* from, uint32_t delayMs = 0) {
        net->onSend = [this, from, delayMs](const Sent& s) {
            pump.script = [this, s, from, delayMs](int) {
                if (clock.now - sendTick >= delayMs)
                    net->deliver(s.socket,
                                 withIpHeader(echoReplyTo(s.bytes), address(from), s.address),
                                 address(from));
                return true;
            };
            sendTick = clock.now;
        };
    }

    std::shared_ptr<FakeNet> net = std::make_shared<FakeNet>();
    FakeClock clock;
    FakePump pump{clock};
    ComPtr<ping::Ping> control;
    uint32_t sendTick = 0;
};

} // namespace pingtest
