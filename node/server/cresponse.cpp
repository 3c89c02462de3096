// CResponse: parsing of list and read replies. Malformed lines never fail the parse: a list
// line that cannot be converted is skipped, a header that cannot be read keeps its reset value.
#include "server/cresponse.h"

#include "common/text.h"
#include "server/field_codec.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace gw {
namespace {
const std::string kCrLf = "\r\n";

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t hit = text.find(separator, start);
        if (hit == std::string_view::npos) break;
        parts.push_back(text.substr(start, hit - start));
        start = hit + separator.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

// A server's date: the stamp form it is meant to send, or the general date-and-time text.
std::optional<QDateTime> readDate(std::string_view text) {
    if (auto stamp = parseStamp(text)) return stamp;
    return parseGeneralDateTime(text);
}

std::optional<std::int32_t> readSize(std::string_view text) {
    if (!isNumeric(text)) return std::nullopt;
    const double value = numericValue(text);
    if (value < std::numeric_limits<std::int32_t>::min() - 0.5 ||
        value >= std::numeric_limits<std::int32_t>::max() + 0.5)
        return std::nullopt;
    return static_cast<std::int32_t>(roundHalfEven(value));
}

bool sameNoCase(std::string_view a, std::string_view b) {
    return toUpper(a) == toUpper(b);
}

// Removes every CR LF "/EX" CR LF, ignoring case.
std::string withoutEndMarkers(std::string body) {
    const std::string marker = "\r\n/EX\r\n";
    std::size_t at = 0;
    while ((at = findNoCase(body, marker, at)) != std::string::npos)
        body.erase(at, marker.size());
    return body;
}
} // namespace

void CResponse::ResponseComplete() {
    if (!sameNoCase(Error, "OK")) return;
    const std::string command = toUpper(Command);
    if (command == "L")
        ParseListReply();
    else if (command == "R")
        ParseReadReply();
    else if (command == "S")
        ParseSendReply();
}

// Any text the server sends before a normal close is a refusal: a failure is never read as
// success. The reason shown is its first line, bounded.
void CResponse::ParseSendReply() {
    if (m_buffer.empty()) return;
    constexpr std::size_t kMaxReason = 200;
    std::string reason = m_buffer.substr(0, std::min(m_buffer.find_first_of("\r\n"), kMaxReason));
    for (char& c : reason)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    Error = reason.empty() ? std::string("Refused by the server") : reason;
    Refused = true;
}

bool CResponse::alreadyStored() const {
    return Refused && Error.starts_with(kAlreadyStored);
}

void CResponse::ParseListReply() {
    MidList = std::make_unique<CList<CMidEntry>>();
    for (std::string_view line : split(m_buffer, kCrLf)) {
        const std::vector<std::string_view> fields = split(line, "|");
        if (fields.size() < 5) continue;
        const std::optional<QDateTime> originated = readDate(fields[1]);
        const std::optional<std::int32_t> size = readSize(fields[2]);
        if (!originated || !size) continue;
        auto entry = std::make_unique<CMidEntry>();
        entry->Mid = DecodeField(fields[0]);
        entry->Originated = *originated;
        entry->Size = *size;
        entry->From = std::string(fields[3]);
        entry->Subject = DecodeField(fields[4]);
        MidList->Add(std::move(entry));
    }
}

void CResponse::ParseReadReply() {
    Mid.clear();
    From.clear();
    AddressTo.clear();
    AddressCc.clear();
    Subject.clear();
    Body.clear();
    Originated = dateZero();

    const std::size_t blank = m_buffer.find("\r\n\r\n");
    if (blank == std::string::npos) {
        Error = m_buffer;
        return;
    }
    for (std::string_view line : split(std::string_view(m_buffer).substr(0, blank), kCrLf)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, colon);
        // The value is what follows the colon, so a header without the usual space after
        // the colon still reads whole.
        const std::string value = trim(line.substr(colon + 1));
        if (sameNoCase(key, "Mid"))
            Mid = value;
        else if (sameNoCase(key, "Date")) {
            if (auto date = readDate(value)) Originated = *date;
        } else if (sameNoCase(key, "From"))
            From = value;
        else if (sameNoCase(key, "To"))
            AddressTo += value + ";";
        else if (sameNoCase(key, "Cc"))
            AddressCc += value + ";";
        else if (sameNoCase(key, "Subject"))
            Subject = value;
    }
    if (!AddressTo.empty()) AddressTo.pop_back();
    if (!AddressCc.empty()) AddressCc.pop_back();
    Body = withoutEndMarkers(m_buffer.substr(blank + 4));
}

} // namespace gw
