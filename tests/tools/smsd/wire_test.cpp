// smsd's reading of request text: complete, still arriving, or malformed.
#include "wire.h"

#include <gtest/gtest.h>

using namespace smsd;
using Status = ParseResult::Status;

TEST(SmsdWire, ListAndReadLines) {
    ParseResult list = parseRequest("L|GW1MBO|p\\1w\\0|N0CALL|\r\n");
    ASSERT_EQ(list.status, Status::Complete);
    EXPECT_EQ(list.request.command, 'L');
    EXPECT_EQ(list.request.mboCall, "GW1MBO");
    EXPECT_EQ(list.request.password, "p|w\\");
    EXPECT_EQ(list.request.userCall, "N0CALL");
    ParseResult read = parseRequest("r|GW1MBO|pw|N0CALL|A\\1B|\n");
    ASSERT_EQ(read.status, Status::Complete) << "lower case and a bare LF, as typed by hand";
    EXPECT_EQ(read.request.command, 'R');
    EXPECT_EQ(read.request.mid, "A|B");
}

TEST(SmsdWire, IncompleteUntilTheLineEnds) {
    EXPECT_EQ(parseRequest("").status, Status::Incomplete);
    EXPECT_EQ(parseRequest("L|GW1MBO|pw|N0CA").status, Status::Incomplete);
    EXPECT_EQ(parseRequest("S|GW1MBO|pw|N0CALL|M1|\r\nMid: M1\r\nTo: N1CALL\r\n").status,
              Status::Incomplete);
    EXPECT_EQ(parseRequest("S|GW1MBO|pw|N0CALL|M1|\r\nTo: N1CALL\r\n\r\nbody\r\n/EX").status,
              Status::Incomplete);
}

TEST(SmsdWire, MalformedRequests) {
    for (const char* text :
         {"X|GW1MBO|pw|N0CALL|\r\n", "LL|GW1MBO|pw|N0CALL|\r\n", "L|GW1MBO|pw|\r\n",
          "L|GW1MBO|pw|N0CALL\r\n", "L|GW1MBO|pw|N0CALL|extra|\r\n", "R|GW1MBO|pw|N0CALL|\r\n",
          "K|GW1MBO|pw|N0CALL||\r\n", "L||pw|N0CALL|\r\n", "\r\n"})
        EXPECT_EQ(parseRequest(text).status, Status::Malformed) << text;
}

TEST(SmsdWire, SendMessageBlock) {
    ParseResult send = parseRequest("S|GW1MBO|pw|N0CALL|M\\11|\r\n"
                                    "Mid: M|1\r\nDate: 2026/05/01 12:00\r\nFrom: N0CALL\r\n"
                                    "To: N1CALL\r\nTo: \r\ncc: N2CALL\r\nSubject: Hi there\r\n"
                                    "\r\n"
                                    "line one\rstill one\r\n\r\nline three\r\n/ex\r\n");
    ASSERT_EQ(send.status, Status::Complete);
    const Request& r = send.request;
    EXPECT_EQ(r.mid, "M|1");
    EXPECT_EQ(r.date, "2026/05/01 12:00");
    EXPECT_EQ(r.to, (std::vector<std::string>{"N1CALL", ""}));
    EXPECT_EQ(r.cc, std::vector<std::string>{"N2CALL"});
    EXPECT_EQ(r.subject, "Hi there");
    EXPECT_EQ(r.body, "line one\rstill one\r\n\r\nline three")
        << "line ends inside the body are kept";
}

TEST(SmsdWire, FieldEscapingRoundTrips) {
    for (const std::string text : {"", "\\", "|", "\\1", "\\0", "a|b\\c", "\\\\11||"})
        EXPECT_EQ(decodeField(encodeField(text)), text);
    EXPECT_EQ(encodeField("\\1"), "\\01");
}
