// The server link against a running smsd: a server's refusals reach the node as failures,
// never as successes. The link's round trip runs through the core's test against smsd.
#include "server/frm_brevane.h"

#include "link_test_support.h"
#include "smsd_process.h"

#include <gtest/gtest.h>

using namespace gw;
using namespace gwtest;

namespace {
class SmsdLink : public ::testing::Test {
  protected:
    SmsdLink()
        : smsd(QStringList{"--node", "GW1MBO:pa|ss\\1"}),
          form(queues, host, pump, {smsd.port(), false}) {
        form.Load();
    }

    std::unique_ptr<CCommand> request(const std::string& command, const std::string& user,
                                      const std::string& mid = {}) {
        auto c = std::make_unique<CCommand>();
        c->Session = "07" + std::to_string(++sessions);
        c->Command = command;
        c->UserCall = user;
        c->MBOCall = "GW1MBO";
        c->MBOPassword = "pa|ss\\1";
        c->Mid = mid;
        return c;
    }

    // Runs the link (ticks and events) until `count` replies wait, then takes them.
    std::vector<std::unique_ptr<CResponse>> replies(int count) {
        pumpUntil([&] {
            if (!form.busy()) form.tick();
            return queues.ReplyQueue.Count() >= count;
        });
        std::vector<std::unique_ptr<CResponse>> taken;
        while (auto reply = queues.ReplyQueue.RemoveFirst())
            taken.push_back(std::move(reply));
        return taken;
    }

    SmsdProcess smsd;
    ServerQueues queues;
    RecordingHost host;
    QtEventPump pump;
    frmBrevane form;
    int sessions = 0;
};
} // namespace

TEST_F(SmsdLink, ServerRefusalsReachTheNodeAsFailures) {
    ASSERT_TRUE(smsd.running()) << smsd.log();
    queues.CommandQueue.Add(request("K", "N5CALL", "SMS_UNKNOWN1"));
    queues.CommandQueue.Add(request("R", "N5CALL", "SMS_UNKNOWN1"));
    auto wrong = request("L", "N5CALL");
    wrong->MBOPassword = "guess";
    queues.CommandQueue.Add(std::move(wrong));
    auto noPassword = request("S", "N5CALL", "SMS_X");
    noPassword->MBOPassword = "";
    queues.CommandQueue.Add(std::move(noPassword));
    auto out = replies(4);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0]->Error, "Connection reset by peer") << "a refused kill is not a success";
    EXPECT_EQ(out[1]->Error, "No such message: SMS_UNKNOWN1");
    EXPECT_EQ(out[2]->Error, "Connection reset by peer");
    EXPECT_EQ(out[2]->MidList, nullptr);
    EXPECT_EQ(out[3]->Error, "Command error...");
}
