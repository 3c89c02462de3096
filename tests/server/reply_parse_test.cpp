// Parsing of list and read replies, fed whole and in random pieces.
#include "server/cresponse.h"

#include <gtest/gtest.h>
#include <random>

using namespace gw;

namespace {
std::unique_ptr<CResponse> complete(const std::string& command, const std::string& text,
                                    const std::string& error = "OK", unsigned seed = 0) {
    auto reply = std::make_unique<CResponse>();
    reply->Command = command;
    reply->Mid = "REQUEST_MID";
    // Arrives in random pieces; the parse must see the concatenation.
    std::mt19937 random(seed);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t piece = std::uniform_int_distribution<std::size_t>(1, 7)(random);
        reply->Response(std::string_view(text).substr(at, piece));
        at += piece;
    }
    reply->Error = error;
    reply->ResponseComplete();
    return reply;
}

const std::string kRead = "Mid: SMS_00AB\r\n"
                          "Date: 2026/02/01 13:45\r\n"
                          "From: N1CALL\r\n"
                          "To: N0CALL\r\n"
                          "to: N2CALL\r\n"
                          "Cc: N3CALL\r\n"
                          "X-Other: ignored\r\n"
                          "Subject: Greetings | all\r\n"
                          "\r\n"
                          "First line\r\nSecond line\r\n"
                          "/EX\r\n";
} // namespace

TEST(ListReply, EntriesInServerOrder) {
    const std::string text = "SMS\\1A|2026/01/02 03:04|120|N1CALL|Sub\\0ject\\1x\r\n"
                             "MID2|2025/12/31 23:59|0|N2CALL|Second|extra|fields\r\n";
    for (unsigned seed = 0; seed < 5; ++seed) {
        auto reply = complete("l", text, "ok", seed);
        ASSERT_NE(reply->MidList, nullptr);
        ASSERT_EQ(reply->MidList->Count(), 2);
        auto first = reply->MidList->RemoveFirst();
        EXPECT_EQ(first->Mid, "SMS|A");
        EXPECT_EQ(first->Originated, QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
        EXPECT_EQ(first->Size, 120);
        EXPECT_EQ(first->From, "N1CALL");
        EXPECT_EQ(first->Subject, "Sub\\ject|x");
        auto second = reply->MidList->RemoveFirst();
        EXPECT_EQ(second->Mid, "MID2");
        EXPECT_EQ(second->Subject, "Second") << "fields after the fifth are ignored";
        EXPECT_EQ(second->Size, 0);
    }
}

TEST(ListReply, ShortAndUnconvertibleLinesAreSkipped) {
    auto reply = complete("L", "A|2026/01/02 03:04|1|N1CALL\r\n"
                               "\r\n"
                               "+OK 0 messages\r\n"
                               "B|not a date|1|N1CALL|S\r\n"
                               "C|2026/01/02 03:04|lots|N1CALL|S\r\n"
                               "D|2026/01/02 03:04|99999999999|N1CALL|S\r\n"
                               "E|2026-01-02 03:04:05|7|N1CALL|General date\r\n");
    ASSERT_NE(reply->MidList, nullptr);
    ASSERT_EQ(reply->MidList->Count(), 1);
    auto entry = reply->MidList->RemoveFirst();
    EXPECT_EQ(entry->Mid, "E");
    EXPECT_EQ(entry->Originated, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
}

TEST(ListReply, FourFieldsAndEmptyReplyGiveAnEmptyList) {
    auto four = complete("L", "A|2026/01/02 03:04|1|N1CALL\r\n");
    ASSERT_NE(four->MidList, nullptr);
    EXPECT_EQ(four->MidList->Count(), 0);
    auto empty = complete("L", "");
    ASSERT_NE(empty->MidList, nullptr);
    EXPECT_EQ(empty->MidList->Count(), 0);
}

TEST(ListReply, FailedReplyIsNotParsed) {
    auto reply = complete("L", "A|2026/01/02 03:04|1|N1CALL|S\r\n", "Connection refused");
    EXPECT_EQ(reply->MidList, nullptr);
    EXPECT_EQ(reply->Error, "Connection refused");
}

TEST(ReadReply, HeadersAndBody) {
    for (unsigned seed = 0; seed < 5; ++seed) {
        auto reply = complete("R", kRead, "OK", seed);
        EXPECT_EQ(reply->Error, "OK");
        EXPECT_EQ(reply->Mid, "SMS_00AB");
        EXPECT_EQ(reply->Originated, QDateTime(QDate(2026, 2, 1), QTime(13, 45)));
        EXPECT_EQ(reply->From, "N1CALL");
        EXPECT_EQ(reply->AddressTo, "N0CALL;N2CALL");
        EXPECT_EQ(reply->AddressCc, "N3CALL");
        EXPECT_EQ(reply->Subject, "Greetings | all");
        EXPECT_EQ(reply->Body, "First line\r\nSecond line");
    }
}

TEST(ReadReply, EndMarkerInEitherCase) {
    auto lower = complete("R", "Mid: A\r\n\r\nBody\r\n/ex\r\n");
    EXPECT_EQ(lower->Body, "Body");
    auto upper = complete("R", "Mid: A\r\n\r\nBody\r\n/EX\r\n");
    EXPECT_EQ(upper->Body, "Body");
    auto none = complete("R", "Mid: A\r\n\r\nBody without marker");
    EXPECT_EQ(none->Body, "Body without marker");
    auto emptyBody = complete("R", "Mid: A\r\n\r\n\r\n/EX\r\n");
    EXPECT_EQ(emptyBody->Body, "");
}

TEST(ReadReply, NoEmptyLineIsAFailureWithTheServerText) {
    auto reply = complete("R", "No such message: SMS_X");
    EXPECT_EQ(reply->Error, "No such message: SMS_X");
    EXPECT_EQ(reply->Mid, "") << "fields are reset even when the parse fails";
    EXPECT_EQ(reply->Body, "");
    auto empty = complete("R", "");
    EXPECT_EQ(empty->Error, "") << "a silent close reads as a failure with empty text";
}

TEST(ReadReply, MalformedHeadersKeepResetValues) {
    auto reply = complete("R", "Date: someday\r\n"
                               "To:\r\n"
                               "From:N9CALL\r\n"
                               "Subject\r\n"
                               ":\r\n"
                               "\r\nText\r\n/EX\r\n");
    EXPECT_EQ(reply->Error, "OK");
    EXPECT_EQ(reply->Originated, dateZero());
    EXPECT_EQ(reply->AddressTo, "");
    EXPECT_EQ(reply->From, "N9CALL");
    EXPECT_EQ(reply->Subject, "");
    EXPECT_EQ(reply->Body, "Text");
}

TEST(OtherReplies, KillAndSendAreNotInterpreted) {
    auto kill = complete("K", "anything at all\r\n");
    EXPECT_EQ(kill->Error, "OK");
    EXPECT_EQ(kill->Mid, "REQUEST_MID");
    EXPECT_EQ(kill->MidList, nullptr);
    EXPECT_EQ(kill->replyText(), "anything at all\r\n");
    auto send = complete("S", "");
    EXPECT_EQ(send->Error, "OK");
    EXPECT_EQ(send->Body, "");
}
