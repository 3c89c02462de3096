// Fuzzes the collection of a server reply as the node receives it: pieces of hostile text in
// random sizes are kept byte for byte with an exact size (the node's reply cap is checked
// against that size), and the collected reply parses exactly as the whole text does, as a
// list or a read reply, with any status text.
#include "fuzz_support.h"
#include "server/cresponse.h"

#include <random>

using gw::CResponse;

namespace {
void parse(CResponse& response, std::uint8_t mode) {
    response.Command = (mode & 1) != 0 ? "R" : "l";
    response.Error = (mode & 2) != 0 ? "Ok" : "refused";
    response.ResponseComplete();
}

bool sameList(const CResponse& a, const CResponse& b) {
    if ((a.MidList == nullptr) != (b.MidList == nullptr)) return false;
    if (a.MidList == nullptr) return true;
    if (a.MidList->Count() != b.MidList->Count()) return false;
    for (std::int32_t i = 0; i < a.MidList->Count(); ++i) {
        const gw::CMidEntry* x = a.MidList->peek(i);
        const gw::CMidEntry* y = b.MidList->peek(i);
        if (x->Mid != y->Mid || x->Originated != y->Originated || x->Size != y->Size ||
            x->From != y->From || x->Subject != y->Subject)
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::InputReader input(data, size);
    const std::uint8_t mode = input.byte();
    std::minstd_rand random(input.byte() | (input.byte() << 8));
    const std::string reply = input.rest();
    const std::size_t largest = (mode & 4) != 0 ? 8 : 4096;

    CResponse pieces;
    std::size_t collected = 0;
    while (collected < reply.size()) {
        const std::size_t piece =
            std::min<std::size_t>(1 + random() % largest, reply.size() - collected);
        FUZZ_CHECK(pieces.replySize() == collected, "the size is what came so far");
        pieces.Response(std::string_view(reply).substr(collected, piece));
        collected += piece;
    }
    FUZZ_CHECK(pieces.replySize() == reply.size() && pieces.replyText() == reply,
               "the reply is kept byte for byte");

    CResponse whole;
    whole.Response(reply);
    parse(whole, mode);
    parse(pieces, mode);
    FUZZ_CHECK(pieces.Error == whole.Error, "the pieces give the same status");
    FUZZ_CHECK(sameList(pieces, whole), "the pieces give the same list");
    FUZZ_CHECK(pieces.Mid == whole.Mid && pieces.From == whole.From &&
                   pieces.Subject == whole.Subject && pieces.AddressTo == whole.AddressTo &&
                   pieces.AddressCc == whole.AddressCc && pieces.Body == whole.Body &&
                   pieces.Originated == whole.Originated,
               "the pieces give the same message");
    return 0;
}
