// Fuzzes smsd's request parser with hostile client text: a request read as complete has its
// call signs, a known command and (where it needs one) a message id, and more text arriving
// after a complete or malformed request does not change the verdict; field escaping is undone
// exactly.
#include "fuzz_support.h"
#include "wire.h"

using smsd::ParseResult;

namespace {
bool sameRequest(const smsd::Request& a, const smsd::Request& b) {
    return a.command == b.command && a.mboCall == b.mboCall && a.password == b.password &&
           a.userCall == b.userCall && a.mid == b.mid && a.date == b.date && a.to == b.to &&
           a.cc == b.cc && a.subject == b.subject && a.body == b.body;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(smsd::decodeField(smsd::encodeField(text)) == text, "escaping is undone exactly");

    const ParseResult whole = smsd::parseRequest(text);
    if (whole.status == ParseResult::Status::Complete) {
        const smsd::Request& r = whole.request;
        FUZZ_CHECK(r.command == 'L' || r.command == 'R' || r.command == 'K' || r.command == 'S',
                   "a known command");
        FUZZ_CHECK(!r.mboCall.empty() && !r.userCall.empty(), "both call signs");
        FUZZ_CHECK(r.command == 'L' || !r.mid.empty(), "a message id where one is needed");
        FUZZ_CHECK(r.command == 'S' || (r.to.empty() && r.body.empty()), "a message only with S");
    }
    // The text as it may arrive: a verdict reached on a prefix stands for the whole.
    const std::size_t step = size / 16 + 1;
    for (std::size_t cut = 0; cut < size; cut += step) {
        const ParseResult early = smsd::parseRequest(text.substr(0, cut));
        if (early.status == ParseResult::Status::Incomplete) continue;
        FUZZ_CHECK(early.status == whole.status, "more text does not change the verdict");
        if (early.status == ParseResult::Status::Complete)
            FUZZ_CHECK(sameRequest(early.request, whole.request), "nor the request");
    }
    return 0;
}
