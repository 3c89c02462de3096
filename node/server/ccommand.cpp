// CCommand: rendering of the request text.
#include "server/ccommand.h"

#include "common/datetime.h"
#include "common/text.h"
#include "server/field_codec.h"

namespace gw {
namespace {
const std::string kCrLf = "\r\n";

// Splits at ";" keeping empty elements ("a;" gives "a" and "").
template <class Visit> void forEachAddress(const std::string& list, Visit visit) {
    std::size_t start = 0;
    while (true) {
        const std::size_t semi = list.find(';', start);
        visit(trim(std::string_view(list).substr(
            start, semi == std::string::npos ? std::string::npos : semi - start)));
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
}

// A value the request cannot carry as it is: a line end would start a header or a request of
// its own, and a "|" in a call sign would shift the request line's fields.
bool breaksLine(std::string_view value, bool barAllowed) {
    for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || (!barAllowed && c == '|')) return true;
    return false;
}

// A body line the server would take for the end of the message.
bool holdsEndMarker(const std::string& body) {
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        std::string_view line = std::string_view(body).substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() == 3 && toUpper(std::string(line)) == "/EX") return true;
        start = end + 1;
    }
    return false;
}
} // namespace

std::string CCommand::CommandToServer() {
    if (trim(UserCall).empty() || trim(MBOCall).empty() || MBOPassword.empty()) return {};
    if (breaksLine(UserCall, false) || breaksLine(MBOCall, false) ||
        breaksLine(MBOPassword, true) || breaksLine(Mid, true))
        return {};
    const std::string command = toUpper(Command);
    const std::string head = MBOCall + "|" + EncodeField(MBOPassword) + "|" + UserCall + "|";
    if (command == "L") return "L|" + head + kCrLf;
    if (command == "R" || command == "K") {
        if (Mid.empty()) return {};
        return command + "|" + head + EncodeField(Mid) + "|" + kCrLf;
    }
    if (command == "S") return BuildSendText();
    return {};
}

std::string CCommand::BuildSendText() {
    if (Mid.empty() || AddressTo.empty()) return {};
    if (UserCall.empty() || MBOCall.empty() || MBOPassword.empty()) return {};
    if (breaksLine(AddressTo, true) || breaksLine(AddressCc, true) || breaksLine(Subject, true) ||
        holdsEndMarker(Body))
        return {};
    std::string text = "S|" + MBOCall + "|" + EncodeField(MBOPassword) + "|" + UserCall + "|" +
                       EncodeField(Mid) + "|" + kCrLf;
    text += "Mid: " + Mid + kCrLf;
    text += "Date: " + stampText(Originated) + kCrLf;
    text += "From: " + UserCall + kCrLf;
    forEachAddress(AddressTo, [&](const std::string& to) { text += "To: " + to + kCrLf; });
    if (!AddressCc.empty())
        forEachAddress(AddressCc, [&](const std::string& cc) { text += "Cc: " + cc + kCrLf; });
    if (Subject.empty()) Subject = "<No subject>";
    text += "Subject: " + Subject + kCrLf;
    text += kCrLf;
    if (Body.empty()) Body = "<No message body>";
    text += Body + kCrLf;
    text += "/EX" + kCrLf;
    return text;
}

} // namespace gw
