// Request rendering, field escaping and the ordered list.
#include "server/ccommand.h"
#include "server/clist.h"
#include "server/field_codec.h"
#include "server/session_key.h"

#include <gtest/gtest.h>
#include <set>

using namespace gw;

namespace {
CCommand request(const std::string& command) {
    CCommand c;
    c.Session = "0312345";
    c.UserCall = "N0CALL";
    c.MBOCall = "GW1MBO";
    c.MBOPassword = "secret";
    c.Command = command;
    c.Mid = "SMS_ABCD1234";
    c.AddressTo = "N1CALL";
    c.Subject = "Hello";
    c.Body = "Line one\r\nLine two";
    c.Originated = QDateTime(QDate(2026, 3, 4), QTime(7, 9, 30));
    return c;
}
} // namespace

TEST(FieldCodec, EscapesBackslashBeforeBar) {
    EXPECT_EQ(EncodeField("a|b\\c"), "a\\1b\\0c");
    // A backslash followed by "1" must not read back as a bar.
    EXPECT_EQ(EncodeField("\\1"), "\\01");
    EXPECT_EQ(DecodeField("\\01"), "\\1");
    EXPECT_EQ(DecodeField("\\1\\0"), "|\\");
    for (const std::string text : {"", "\\", "|", "\\0", "\\1", "||\\\\", "x\\1|\\0y", "\\\\1"})
        EXPECT_EQ(DecodeField(EncodeField(text)), text) << text;
}

TEST(CCommandRender, ListReadKillLines) {
    CCommand l = request("L");
    EXPECT_EQ(l.CommandToServer(), "L|GW1MBO|secret|N0CALL|\r\n");
    CCommand lower = request("l");
    EXPECT_EQ(lower.CommandToServer(), l.CommandToServer());
    CCommand r = request("r");
    EXPECT_EQ(r.CommandToServer(), "R|GW1MBO|secret|N0CALL|SMS_ABCD1234|\r\n");
    CCommand k = request("K");
    EXPECT_EQ(k.CommandToServer(), "K|GW1MBO|secret|N0CALL|SMS_ABCD1234|\r\n");
}

TEST(CCommandRender, PasswordAndMidAreEscapedCallsAreNot) {
    CCommand r = request("R");
    r.MBOPassword = "p|w\\d";
    r.Mid = "M|1";
    EXPECT_EQ(r.CommandToServer(), "R|GW1MBO|p\\1w\\0d|N0CALL|M\\11|\r\n");
    CCommand l = request("L");
    l.MBOPassword = "\\1";
    EXPECT_EQ(l.CommandToServer(), "L|GW1MBO|\\01|N0CALL|\r\n");
}

TEST(CCommandRender, MissingFieldsRenderEmpty) {
    for (auto clear : {&CCommand::UserCall, &CCommand::MBOCall, &CCommand::MBOPassword}) {
        for (const char* command : {"L", "R", "K", "S"}) {
            CCommand c = request(command);
            c.*clear = "";
            EXPECT_EQ(c.CommandToServer(), "") << command;
        }
    }
    CCommand r = request("R");
    r.Mid = "";
    EXPECT_EQ(r.CommandToServer(), "");
    CCommand k = request("K");
    k.Mid = "";
    EXPECT_EQ(k.CommandToServer(), "");
    CCommand l = request("L");
    l.Mid = "";
    EXPECT_EQ(l.CommandToServer(), "L|GW1MBO|secret|N0CALL|\r\n") << "L ignores the MID";
    CCommand other = request("X");
    EXPECT_EQ(other.CommandToServer(), "");
    CCommand s = request("S");
    s.AddressTo = "";
    EXPECT_EQ(s.CommandToServer(), "");
    s = request("S");
    s.Mid = "";
    EXPECT_EQ(s.CommandToServer(), "");
}

TEST(CCommandRender, SendRequestLayout) {
    CCommand s = request("s");
    s.AddressTo = " N1CALL ; N2CALL;";
    s.AddressCc = "N3CALL; N4CALL ";
    EXPECT_EQ(s.CommandToServer(), "S|GW1MBO|secret|N0CALL|SMS_ABCD1234|\r\n"
                                   "Mid: SMS_ABCD1234\r\n"
                                   "Date: 2026/03/04 07:09\r\n"
                                   "From: N0CALL\r\n"
                                   "To: N1CALL\r\n"
                                   "To: N2CALL\r\n"
                                   "To: \r\n"
                                   "Cc: N3CALL\r\n"
                                   "Cc: N4CALL\r\n"
                                   "Subject: Hello\r\n"
                                   "\r\n"
                                   "Line one\r\nLine two\r\n"
                                   "/EX\r\n");
}

TEST(CCommandRender, SendWithoutCcSubjectOrBody) {
    CCommand s = request("S");
    s.Subject = "";
    s.Body = "";
    s.Mid = "M|X";
    const std::string text = s.CommandToServer();
    EXPECT_EQ(text.find("Cc:"), std::string::npos);
    EXPECT_NE(text.find("S|GW1MBO|secret|N0CALL|M\\1X|\r\nMid: M|X\r\n"), std::string::npos)
        << "the MID is escaped in the request line only";
    EXPECT_NE(text.find("Subject: <No subject>\r\n\r\n<No message body>\r\n/EX\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(s.Subject, "<No subject>");
    EXPECT_EQ(s.Body, "<No message body>");
    EXPECT_EQ(s.CommandToServer(), text) << "rendering twice gives the same text";
}

TEST(CList, EmptyAndSingleItem) {
    CList<std::string> list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.RemoveFirst(), nullptr);
    EXPECT_EQ(list.RemoveLast(), nullptr);
    EXPECT_EQ(list.Count(), 0);

    list.Add(std::make_unique<std::string>("one"));
    EXPECT_EQ(list.Count(), 1);
    auto only = list.RemoveLast();
    ASSERT_NE(only, nullptr);
    EXPECT_EQ(*only, "one");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.RemoveFirst(), nullptr);

    list.Add(std::make_unique<std::string>("a"));
    list.Add(std::make_unique<std::string>("b"));
    list.Add(std::make_unique<std::string>("c"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(*list.peek(1), "b");
    EXPECT_EQ(list.peek(3), nullptr);
    EXPECT_EQ(*list.RemoveFirst(), "a");
    EXPECT_EQ(*list.RemoveLast(), "c");
    EXPECT_EQ(*list.RemoveFirst(), "b");
    EXPECT_EQ(list.Count(), 0);
}

TEST(CList, ItemsTakenOffBelongToTheTaker) {
    CList<std::string> list;
    auto item = std::make_unique<std::string>("kept");
    const std::string* address = item.get();
    list.Add(std::move(item));
    std::unique_ptr<std::string> taken = list.RemoveFirst();
    EXPECT_EQ(taken.get(), address) << "the same record, not a copy";
    list.Add(nullptr);
    EXPECT_EQ(list.Count(), 0);
}

TEST(SessionKey, IndexDigitsThenRandomNumber) {
    std::set<std::string> keys;
    for (int i = 0; i < 200; ++i) {
        const std::string key = newSessionKey(3);
        ASSERT_GE(key.size(), 3u);
        EXPECT_EQ(key.substr(0, 2), "03");
        const std::string number = key.substr(2);
        EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << key;
        EXPECT_TRUE(number == "0" || number[0] != '0') << "no leading zeros: " << key;
        EXPECT_LE(std::stoll(number), 10'000'000);
        EXPECT_EQ(sessionStream(key), 3);
        keys.insert(key);
    }
    EXPECT_GT(keys.size(), 190u) << "keys made back to back differ";
    EXPECT_EQ(newSessionKey(10).substr(0, 2), "10");
    EXPECT_EQ(newSessionKey(0).substr(0, 2), "00");
}
