// Fuzzes the parsing of list and read replies from a hostile server: a list holds at most one
// message per line and every value stays inside its line and field; a read reply's headers
// stay one line each, a reply without a header block becomes the error text, and parsing the
// same reply again gives the same record.
#include "fuzz_support.h"
#include "server/cresponse.h"

#include <algorithm>

using gw::CResponse;

namespace {
bool oneLine(const std::string& text) {
    return text.find("\r\n") == std::string::npos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::InputReader input(data, size);
    const std::uint8_t mode = input.byte();
    const std::size_t piece = 1 + input.byte() % 64;
    const std::string reply = input.rest();

    CResponse response;
    response.Command = (mode & 1) != 0 ? "r" : "L";
    response.Error = (mode & 2) != 0 ? "ok" : "OK";
    for (std::size_t at = 0; at < reply.size(); at += piece)
        response.Response(std::string_view(reply).substr(at, piece));
    FUZZ_CHECK(response.replyText() == reply, "the reply is kept as it came");
    response.ResponseComplete();

    if ((mode & 1) == 0) {
        FUZZ_CHECK(response.MidList != nullptr, "a list reply always has its list");
        const auto lines =
            1 + static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n'));
        FUZZ_CHECK(static_cast<std::size_t>(response.MidList->Count()) <= lines,
                   "at most one message per line");
        for (std::int32_t i = 0; i < response.MidList->Count(); ++i) {
            const gw::CMidEntry* entry = response.MidList->peek(i);
            FUZZ_CHECK(entry->Originated.isValid(), "a listed message has its date");
            FUZZ_CHECK(oneLine(entry->Mid) && oneLine(entry->Subject), "values stay in their line");
            FUZZ_CHECK(oneLine(entry->From) && entry->From.find('|') == std::string::npos,
                       "the sender stays in its field");
        }
        return 0;
    }

    if (reply.find("\r\n\r\n") == std::string::npos) {
        FUZZ_CHECK(response.Error == reply, "a reply without headers is the error text");
        return 0;
    }
    FUZZ_CHECK(response.Error == ((mode & 2) != 0 ? "ok" : "OK"),
               "a read reply with headers keeps its success");
    for (const std::string* value : {&response.Mid, &response.From, &response.Subject,
                                     &response.AddressTo, &response.AddressCc})
        FUZZ_CHECK(oneLine(*value), "a header value stays in its line");
    FUZZ_CHECK(response.Body.size() <= reply.size(), "the body comes from the reply");

    CResponse again;
    again.Command = "R";
    again.Error = "OK";
    again.Response(reply);
    again.ResponseComplete();
    again.ParseReadReply();
    FUZZ_CHECK(again.Mid == response.Mid && again.From == response.From &&
                   again.Subject == response.Subject && again.AddressTo == response.AddressTo &&
                   again.AddressCc == response.AddressCc && again.Body == response.Body &&
                   again.Originated == response.Originated,
               "parsing the reply again gives the same record");
    return 0;
}
