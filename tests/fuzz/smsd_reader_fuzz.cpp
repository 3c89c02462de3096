// Fuzzes smsd's incremental request reader with its real limits and hostile client bytes, fed
// whole, a byte at a time and in random pieces as TCP reads cut them: every cut reaches the same
// verdict, the same request or the same problem; the request line, once read, does not change
// while the message arrives; a complete request is one the server can act on.
#include "fuzz_support.h"
#include "server.h"
#include "wire.h"

#include <random>

using smsd::RequestReader;

namespace {
struct Reading {
    RequestReader::State state;
    std::string problem;
    smsd::Request request;
};

bool sameRequest(const smsd::Request& a, const smsd::Request& b) {
    return a.command == b.command && a.mboCall == b.mboCall && a.password == b.password &&
           a.userCall == b.userCall && a.mid == b.mid && a.date == b.date && a.to == b.to &&
           a.cc == b.cc && a.subject == b.subject && a.body == b.body;
}

bool sameLine(const smsd::Request& a, const smsd::Request& b) {
    return a.command == b.command && a.mboCall == b.mboCall && a.password == b.password &&
           a.userCall == b.userCall && a.mid == b.mid;
}

// Feeds the pieces `next` cuts until a verdict, as the connection does.
template <class Cut> Reading read(std::string_view bytes, Cut next) {
    const smsd::ServerOptions limits;
    RequestReader reader(limits.maxRequestLine, limits.maxRequest);
    std::optional<smsd::Request> line;
    std::size_t fed = 0;
    while (fed < bytes.size()) {
        const std::size_t piece = std::min(next(), bytes.size() - fed);
        const RequestReader::State state = reader.feed(bytes.substr(fed, piece));
        fed += piece;
        FUZZ_CHECK(reader.received() == fed, "every byte fed is counted");
        if (reader.headerRead() && !line) line = reader.request();
        if (line) FUZZ_CHECK(sameLine(*line, reader.request()), "the request line stays as read");
        if (state == RequestReader::State::Complete || state == RequestReader::State::Malformed)
            break;
    }
    return {reader.state(), reader.problem(), reader.request()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::InputReader input(data, size);
    const std::uint32_t seed = input.byte() | (input.byte() << 8);
    const std::string bytes = input.rest();

    const Reading whole = read(bytes, [&] { return bytes.size(); });
    const Reading single = read(bytes, [] { return std::size_t{1}; });
    std::minstd_rand random(seed);
    const std::size_t largest = seed % 2 == 0 ? 64 : 16 * 1024;
    const Reading pieces = read(bytes, [&] { return 1 + random() % largest; });
    for (const Reading* other : {&single, &pieces}) {
        FUZZ_CHECK(other->state == whole.state, "the cuts do not change the verdict");
        FUZZ_CHECK(other->problem == whole.problem, "nor the problem");
        if (whole.state == RequestReader::State::Complete)
            FUZZ_CHECK(sameRequest(other->request, whole.request), "nor the request");
    }
    if (whole.state == RequestReader::State::Complete) {
        const smsd::Request& r = whole.request;
        FUZZ_CHECK(r.command == 'L' || r.command == 'R' || r.command == 'K' || r.command == 'S',
                   "a known command");
        FUZZ_CHECK(!r.mboCall.empty() && !r.userCall.empty(), "both call signs");
        FUZZ_CHECK(r.command == 'L' || !r.mid.empty(), "a message id where one is needed");
        for (std::size_t lf = r.body.find('\n'); lf != std::string::npos;
             lf = r.body.find('\n', lf + 1))
            FUZZ_CHECK(lf > 0 && r.body[lf - 1] == '\r', "body lines are joined with CR LF");
    }
    return 0;
}
