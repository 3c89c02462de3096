// Fuzzes the TNC answers a driver reads at initialization: the PACLEN and USERS (MAXUSERS)
// values of the TNC2 and the three Kantronics variants, and a TNC2's answers about its
// converse-mode characters. A driver that starts has a packet length a TNC can carry on each
// port in use and user limits of 0 to 10 that add up to 1 to 10; text from radio users sent in
// converse mode reaches a TNC that holds the answered special characters as text only.
#include "common/text.h"
#include "fuzz_support.h"
#include "recording_tnc_host.h"
#include "tnc/ckam.h"
#include "tnc/ckan_multi.h"
#include "tnc/ckan_single.h"
#include "tnc/ctnc2.h"
#include "tnc/host_frame_codec.h"

#include <bitset>
#include <map>
#include <memory>

using namespace gw;

namespace {
// The converse-mode characters of a TNC-2 as it starts.
const unsigned char kDefaults[] = {0x03, 0x0D, 0x7C, 0x16, 0x18, 0x19,
                                   0x08, 0x7F, 0x12, 0x11, 0x13};

std::string hex(unsigned value) {
    const char digits[] = "0123456789ABCDEF";
    return std::string("$") + digits[value >> 4] + digits[value & 15];
}

// A TNC whose answers about one character say something else: no line of it names PASS.
std::string withoutPass(std::string text) {
    for (std::size_t at = findNoCase(text, "PASS"); at != std::string::npos;
         at = findNoCase(text, "PASS", at))
        text[at + 3] = '_';
    return text;
}

struct Tnc2Script {
    std::map<std::string, std::string> answers; // by command
    std::bitset<256> special;                   // what the TNC acts upon in converse mode
    unsigned char pass = 0x16;
};

// The answers to the questions about the converse-mode characters: most in the forms a TNC
// prints ("PASS $16", echoed, in decimal, in lower case, "?EH" for a command it lacks), some
// free text.
Tnc2Script tnc2Script(gw::fuzz::InputReader& input) {
    Tnc2Script script;
    for (const unsigned char c : kDefaults)
        script.special.set(c);
    for (const std::string& name : ConverseSpecials::names()) {
        const std::uint8_t form = input.byte();
        if (form >= 0xC0 && name != "PASS") {
            script.answers[name] = withoutPass(input.field());
            continue;
        }
        const std::uint8_t value = input.byte();
        std::string answer = (form & 1) != 0 ? name + "\r\n" : "";
        if (value == 0) {
            script.answers[name] = answer + "?EH";
            continue;
        }
        std::string line = name + " " + ((form & 2) != 0 ? std::to_string(value) : hex(value));
        if ((form & 4) != 0) line = toLower(line);
        script.answers[name] = answer + line;
        script.special.set(value);
        if (name == "PASS") script.pass = value;
    }
    return script;
}

// What a TNC in converse mode makes of the bytes: the text it sends, or nothing when a byte
// reached it as a command.
std::optional<std::string> converseText(std::string_view sent, const Tnc2Script& script) {
    std::string text;
    for (std::size_t at = 0; at < sent.size(); ++at) {
        const auto c = static_cast<unsigned char>(sent[at]);
        if (c == script.pass && at + 1 < sent.size()) {
            text += sent[++at];
        } else if (script.special.test(c)) {
            return std::nullopt;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

void checkLimits(const TncDriver& driver, const gw::fuzz::RecordingTncHost& host, bool dual) {
    const long users1 = host.lMaxusers1(), users2 = host.lMaxusers2();
    FUZZ_CHECK(users1 >= 0 && users1 <= 10 && users2 >= 0 && users2 <= 10,
               "a user limit is 0 to 10");
    FUZZ_CHECK(users1 + users2 >= 1 && users1 + users2 <= 10, "the users add up to 1 to 10");
    if (!dual || host.port1)
        FUZZ_CHECK(driver.Paclen(1) >= 1 && driver.Paclen(1) <= 256,
                   "port 1 has a packet length a TNC can carry");
    if (dual && host.port2)
        FUZZ_CHECK(driver.Paclen(2) >= 1 && driver.Paclen(2) <= 256,
                   "port 2 has a packet length a TNC can carry");
}

void tnc2(gw::fuzz::InputReader& input, gw::fuzz::RecordingTncHost& host) {
    const Tnc2Script script = tnc2Script(input);
    const std::string paclen = input.field(), users = input.field();
    host.answer = [&](std::string_view sent) -> std::string {
        if (sent == "\r") return "\r\ncmd:";
        if (sent.empty() || sent.back() != '\r') return "";
        const std::string command(sent.substr(0, sent.size() - 1));
        const auto known = script.answers.find(command);
        const std::string answer = known != script.answers.end() ? known->second
                                   : command == "PACLEN"         ? paclen
                                   : command == "USERS"          ? users
                                                                 : "";
        return answer + "\r\ncmd:";
    };
    CTNC2 driver(host);
    host.driver = &driver;
    if (driver.Init()) checkLimits(driver, host, false);

    std::string text = input.rest();
    for (int c = 0; c < 256; ++c)
        text += static_cast<char>(c);
    std::string sent;
    host.answer = [&](std::string_view out) {
        sent += out;
        return "";
    };
    driver.SendData(text, "B", 1);
    FUZZ_CHECK(sent.size() >= 3 && sent.substr(0, 2) == "|B" && sent.back() == '\x01',
               "converse text goes to its stream and ends its packet");
    const auto received = converseText(std::string_view(sent).substr(2, sent.size() - 3), script);
    FUZZ_CHECK(received.has_value(), "no byte of a user's text reaches the TNC as a command");
    FUZZ_CHECK(*received == text, "the TNC sends the user's text unchanged");
}

std::unique_ptr<CKantronics> kantronics(std::uint8_t kind, TncHost& host) {
    if (kind == 1) return std::make_unique<CKANSingle>(host);
    if (kind == 2) return std::make_unique<CKANMulti>(host);
    return std::make_unique<CKAM>(host);
}

void kantronics(std::uint8_t kind, gw::fuzz::InputReader& input, gw::fuzz::RecordingTncHost& host) {
    const std::string paclen = input.field(), users = input.field();
    bool hostMode = false;
    host.answer = [&](std::string_view sent) -> std::string {
        if (sent == "INT HOST\r") {
            hostMode = true;
            return "INTFACE was TERMINAL\r\ncmd:";
        }
        if (sent == "RESET\r") return hostMode ? "\xC0\xC0S00\xC0" : "RESET\r\ncmd:";
        if (sent == "\r") return "\r\ncmd:";
        if (sent == "DISPLAY\r") return "PACLEN 128\r\nMAXUSERS 10\r\ncmd:";
        if (sent == hostFrame("C10", "PACLEN")) return hostFrame("C10", paclen);
        if (sent == hostFrame("C10", "MAXUSERS")) return hostFrame("C10", users);
        return "";
    };
    std::unique_ptr<CKantronics> driver = kantronics(kind, host);
    host.driver = driver.get();
    if (driver->Init()) checkLimits(*driver, host, kind != 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    gw::fuzz::InputReader input(data, size);
    const std::uint8_t setup = input.byte();
    gw::fuzz::RecordingTncHost host;
    host.port1 = (setup >> 2) % 3 != 2;
    host.port2 = (setup >> 2) % 3 != 1;
    if (setup % 4 == 0)
        tnc2(input, host);
    else
        kantronics(setup % 4, input, host);
    return 0;
}
