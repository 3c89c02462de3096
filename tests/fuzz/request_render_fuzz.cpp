// Fuzzes the rendering of server requests with hostile field values, read back by smsd's own
// parser: a request the node renders is either refused (empty text) or read back with exactly
// the fields it was given, so no value can shift or add a field, a header or a request.
#include "common/text.h"
#include "fuzz_support.h"
#include "server/ccommand.h"
#include "wire.h"

#include <QDateTime>

using gw::CCommand;

namespace {
std::vector<std::string> addresses(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = list.find(';', start);
        out.push_back(
            gw::trim(list.substr(start, semi == std::string::npos ? semi : semi - start)));
        if (semi == std::string::npos) return out;
        start = semi + 1;
    }
}

// Line ends as smsd gives them back: every line end is CR LF.
std::string lineEnds(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::InputReader input(data, size);
    CCommand request;
    static const char* const kCommands[] = {"L", "R", "K", "S", "s", "X"};
    request.Command = kCommands[input.byte() % 6];
    request.UserCall = input.field();
    request.MBOCall = input.field();
    request.MBOPassword = input.field();
    request.Mid = input.field();
    request.AddressTo = input.field();
    request.AddressCc = input.field();
    request.Subject = input.field();
    request.Body = input.field();
    request.Originated = QDateTime(QDate(2026, 5, 14), QTime(10, 30));

    const std::string text = request.CommandToServer();
    FUZZ_CHECK(text == request.CommandToServer(), "rendering is repeatable");
    if (text.empty()) return 0;

    const smsd::ParseResult parsed = smsd::parseRequest(text);
    FUZZ_CHECK(parsed.status == smsd::ParseResult::Status::Complete,
               "a rendered request reads back whole");
    const smsd::Request& got = parsed.request;
    FUZZ_CHECK(got.command == gw::toUpper(request.Command)[0], "the command stays");
    FUZZ_CHECK(got.userCall == gw::trim(request.UserCall), "the user's call sign stays");
    FUZZ_CHECK(got.mboCall == gw::trim(request.MBOCall), "the node's call sign stays");
    FUZZ_CHECK(got.password == request.MBOPassword, "the password stays");
    if (got.command != 'L') FUZZ_CHECK(got.mid == request.Mid, "the message id stays");
    if (got.command != 'S') {
        FUZZ_CHECK(text.find("\r\n") == text.size() - 2, "a request is one line");
        return 0;
    }
    FUZZ_CHECK(got.to == addresses(request.AddressTo), "the addressees stay");
    const std::vector<std::string> cc =
        request.AddressCc.empty() ? std::vector<std::string>{} : addresses(request.AddressCc);
    FUZZ_CHECK(got.cc == cc, "the copies stay");
    FUZZ_CHECK(got.subject == gw::trim(request.Subject), "the subject stays");
    FUZZ_CHECK(got.body == lineEnds(request.Body), "the body arrives whole");
    return 0;
}
