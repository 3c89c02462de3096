// The server link against a running smsd: what the node sends is what the server stores,
// and what the server answers parses back into the same message.
#include "server/cmid_generator.h"
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
            if (!form.busy()) form.tmr_Timer();
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

TEST_F(SmsdLink, SendListReadKillRoundTrip) {
    ASSERT_TRUE(smsd.running()) << smsd.log();
    CMidGenerator generator;
    generator.Tag("SMS_");
    const std::string mid = generator.NewMid();
    auto s = request("S", "N0CALL", mid);
    s->AddressTo = "n5call; N6CALL";
    s->AddressCc = "N7CALL";
    s->Subject = "Field | day \\ plans";
    const std::string body = "First line\r\nSecond line\r";
    s->Body = body;
    s->Originated = QDateTime(QDate(2026, 6, 1), QTime(8, 30));
    // Queued together: sent one after the other, replies in the same order.
    queues.CommandQueue.Add(std::move(s));
    queues.CommandQueue.Add(request("L", "N5CALL"));
    auto first = replies(2);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0]->Command, "S");
    EXPECT_EQ(first[0]->Error, "OK");
    EXPECT_EQ(first[0]->Session, "071");
    EXPECT_EQ(first[1]->Command, "L");
    EXPECT_EQ(first[1]->Error, "OK");
    ASSERT_NE(first[1]->MidList, nullptr);
    ASSERT_EQ(first[1]->MidList->Count(), 1);
    const CMidEntry* listed = first[1]->MidList->peek(0);
    EXPECT_EQ(listed->Mid, mid);
    EXPECT_EQ(listed->Originated, QDateTime(QDate(2026, 6, 1), QTime(8, 30)));
    EXPECT_EQ(listed->Size, static_cast<std::int32_t>(body.size()));
    EXPECT_EQ(listed->From, "N0CALL");
    EXPECT_EQ(listed->Subject, "Field | day \\ plans");

    queues.CommandQueue.Add(request("R", "N6CALL", mid));
    auto read = replies(1);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0]->Error, "OK");
    EXPECT_EQ(read[0]->Mid, mid);
    EXPECT_EQ(read[0]->From, "N0CALL");
    EXPECT_EQ(read[0]->AddressTo, "N5CALL;N6CALL");
    EXPECT_EQ(read[0]->AddressCc, "N7CALL");
    EXPECT_EQ(read[0]->Subject, "Field | day \\ plans");
    EXPECT_EQ(read[0]->Body, body);

    queues.CommandQueue.Add(request("K", "N5CALL", mid));
    queues.CommandQueue.Add(request("L", "N5CALL"));
    queues.CommandQueue.Add(request("L", "N6CALL"));
    auto after = replies(3);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0]->Error, "OK");
    EXPECT_EQ(after[1]->MidList->Count(), 0) << "delivered to N5CALL";
    EXPECT_EQ(after[2]->MidList->Count(), 1) << "still waiting for N6CALL";
}

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
