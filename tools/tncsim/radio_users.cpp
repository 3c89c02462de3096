// Scripted and interactive radio users.
#include "radio_users.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

namespace tncsim {
namespace {
std::string unescapeArgument(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'r') {
            out += '\r';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
std::optional<SimTnc::Link> linkVerb(const std::string& verb) {
    static const std::pair<const char*, SimTnc::Link> verbs[] = {
        {"connect-colon", SimTnc::Link::ConnectColon},
        {"connect-request", SimTnc::Link::ConnectRequest},
        {"retry-exceeded", SimTnc::Link::RetryExceeded},
        {"busy", SimTnc::Link::Busy},
        {"reconnect", SimTnc::Link::Reconnect}};
    for (const auto& [name, link] : verbs)
        if (verb == name) return link;
    return std::nullopt;
}
constexpr std::pair<const char*, SimTnc::Special> kSpecialVerbs[] = {
    {"vanish", SimTnc::Special::Vanish},
    {"never-ack", SimTnc::Special::NeverAck},
    {"raw", SimTnc::Special::Raw},
    {"garbage", SimTnc::Special::Garbage},
    {"flood", SimTnc::Special::Flood}};

std::optional<SimTnc::Special> specialVerb(const std::string& verb) {
    for (const auto& [name, special] : kSpecialVerbs)
        if (verb == name) return special;
    return std::nullopt;
}

std::string specialName(SimTnc::Special special) {
    for (const auto& [name, known] : kSpecialVerbs)
        if (known == special) return name;
    return "";
}

// "C0 00 41 C0" as bytes; nothing when a word is not two hex digits.
std::optional<std::string> hexArgument(const std::string& text) {
    std::istringstream words(text);
    std::string out;
    for (std::string word; words >> word;) {
        if (word.size() != 2 ||
            word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        out += static_cast<char>(std::stoi(word, nullptr, 16));
    }
    if (out.empty()) return std::nullopt;
    return out;
}
} // namespace

bool RadioUsers::parseSpecial(const std::string& verb, const std::string& argument, Step& step,
                              std::string& error) const {
    const auto special = specialVerb(verb);
    if (!special) return false;
    step = {Kind::Special, argument, {}, SimTnc::Link::ConnectColon, *special};
    if (*special == SimTnc::Special::Raw) {
        const auto bytes = hexArgument(argument);
        if (!bytes) error = "raw wants bytes in hex, as C0 00 C0";
        step.text = bytes.value_or("");
    } else if (*special == SimTnc::Special::Garbage || *special == SimTnc::Special::Flood) {
        const bool number = !argument.empty() && argument.size() <= 7 &&
                            argument.find_first_not_of("0123456789") == std::string::npos;
        const int limit = *special == SimTnc::Special::Flood ? 10'000 : 1'000'000;
        if (!number || std::stoi(argument) < 1 || std::stoi(argument) > limit)
            error = verb + " wants a count from 1 to " + std::to_string(limit);
    }
    return true;
}

RadioUsers::RadioUsers(SimTnc& tnc, Print print) : m_tnc(tnc), m_print(std::move(print)) {
    m_tnc.toUser = [this](int port, char stream, const std::string& text) {
        fromNode(port, stream, text);
    };
    m_tnc.droppedByNode = [this](int port, char stream) { droppedByNode(port, stream); };
    m_tnc.linkNote = [this](int port, char stream, const std::string& line) {
        m_print(std::to_string(port) + stream + " link " + visible(line));
    };
    m_tnc.log = [this](const std::string& text) { m_print("tnc: " + visible(text)); };
    m_tnc.fault = [this](const std::string& what) {
        ++m_failures;
        m_print("tnc: error: " + visible(what));
    };
}

std::string RadioUsers::visible(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

RadioUsers::User& RadioUsers::user(int port, char stream) {
    User& found = m_users[std::to_string(port) + stream];
    found.port = port;
    found.stream = stream;
    return found;
}

bool RadioUsers::loadScript(const std::string& path, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read script " + path;
        return false;
    }
    std::string line;
    while (std::getline(file, line))
        if (!parseLine(line, error)) return false;
    return true;
}

bool RadioUsers::parseLine(const std::string& line, std::string& error) {
    std::istringstream words(line);
    std::string who, verb;
    words >> who >> verb;
    if (who.empty() || who[0] == '#') return true;
    if (who.size() != 2 || (who[0] != '1' && who[0] != '2') || who[1] < 'A' || who[1] > 'Z') {
        error = "bad stream in script line: " + line;
        return false;
    }
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    Step step{Kind::Wait, "", std::chrono::milliseconds(0)};
    const auto limitFrom = [&](std::string& text, int fallbackSeconds) {
        const auto space = text.rfind(' ');
        if (space != std::string::npos &&
            text.find_first_not_of("0123456789", space + 1) == std::string::npos &&
            space + 1 < text.size()) {
            step.limit = std::chrono::seconds(std::atoi(text.c_str() + space + 1));
            text.erase(space);
        } else if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
                   step.kind == Kind::ExpectDisconnect) {
            step.limit = std::chrono::seconds(std::atoi(text.c_str()));
            text.clear();
        } else {
            step.limit = std::chrono::seconds(fallbackSeconds);
        }
    };
    if (verb == "connect") {
        step = {Kind::Connect, rest.empty() ? "N0CALL" : rest, {}};
    } else if (verb == "send") {
        step = {Kind::Send, unescapeArgument(rest) + "\r", {}};
    } else if (verb == "expect") {
        step.kind = Kind::Expect;
        limitFrom(rest, 30);
        step.text = unescapeArgument(rest);
    } else if (verb == "expect-disconnect") {
        step.kind = Kind::ExpectDisconnect;
        limitFrom(rest, 30);
    } else if (verb == "wait") {
        step = {Kind::Wait, "", std::chrono::milliseconds(std::atoi(rest.c_str()))};
    } else if (verb == "disconnect") {
        step = {Kind::Disconnect, "", {}};
    } else if (const auto link = linkVerb(verb)) {
        step = {Kind::Link, rest.empty() ? "N0CALL" : rest, {}, *link};
    } else if (parseSpecial(verb, rest, step, error)) {
        if (!error.empty()) {
            error += ": " + line;
            return false;
        }
    } else {
        error = "unknown step in script line: " + line;
        return false;
    }
    user(who[0] - '0', who[1]).steps.push_back(step);
    return true;
}

void RadioUsers::start() {
    if (m_started) return;
    m_started = true;
    m_print("radio users start");
}

void RadioUsers::fromNode(int port, char stream, const std::string& text) {
    m_print(std::to_string(port) + stream + " <<< " + visible(text));
    user(port, stream).heard += text;
}

void RadioUsers::droppedByNode(int port, char stream) {
    User& u = user(port, stream);
    u.connected = false;
    u.dropped = true;
    m_print(std::to_string(port) + stream + " disconnected by node");
}

void RadioUsers::typed(const std::string& line) {
    if (m_interactivePort == 0) return;
    const int port = m_interactivePort;
    const char stream = m_interactiveStream;
    if (line.rfind("/connect", 0) == 0) {
        const std::string call = line.size() > 9 ? line.substr(9) : "N0CALL";
        user(port, stream).connected = true;
        m_tnc.userConnect(port, stream, call);
    } else if (line == "/disconnect") {
        user(port, stream).connected = false;
        m_tnc.userDisconnect(port, stream);
    } else {
        m_tnc.userData(port, stream, unescapeArgument(line) + "\r");
    }
}

bool RadioUsers::runStep(User& u) {
    Step& step = u.steps.front();
    const auto now = Clock::now();
    if (!u.stepStarted) {
        u.stepStarted = true;
        u.stepStart = now;
    }
    const std::string who = std::to_string(u.port) + u.stream;
    switch (step.kind) {
    case Kind::Connect:
        u.connected = true;
        u.dropped = false;
        m_print(who + " connect " + step.text);
        m_tnc.userConnect(u.port, u.stream, step.text);
        return true;
    case Kind::Send:
        m_print(who + " >>> " + visible(step.text));
        m_tnc.userData(u.port, u.stream, step.text);
        return true;
    case Kind::Disconnect:
        u.connected = false;
        m_print(who + " disconnect");
        m_tnc.userDisconnect(u.port, u.stream);
        return true;
    case Kind::Link:
        for (const std::string& line : linkLines(step.link, step.text))
            m_print(who + " link " + visible(line));
        if (step.link == SimTnc::Link::Reconnect) u.heard.clear();
        u.connected = connectedAfter(step.link, u.connected);
        if (u.connected) u.dropped = false;
        m_tnc.userLink(u.port, u.stream, step.link, step.text);
        return true;
    case Kind::Special:
        m_print(who + " " + specialName(step.special) +
                (step.special == SimTnc::Special::Raw
                     ? " " + std::to_string(step.text.size()) + " bytes"
                 : step.text.empty() ? ""
                                     : " " + step.text));
        m_tnc.userSpecial(u.port, u.stream, step.special, step.text);
        return true;
    case Kind::Wait:
        return now - u.stepStart >= step.limit;
    case Kind::Expect: {
        const auto at = u.heard.find(step.text);
        if (at != std::string::npos) {
            u.heard.erase(0, at + step.text.size());
            m_print(who + " expect ok: " + visible(step.text));
            return true;
        }
        break;
    }
    case Kind::ExpectDisconnect:
        if (u.dropped) {
            m_print(who + " expect-disconnect ok");
            return true;
        }
        break;
    }
    if (now - u.stepStart < step.limit) return false;
    ++m_failures;
    m_print(who + " expect FAILED: " + visible(step.text) + " (heard: " + visible(u.heard) + ")");
    return true;
}

std::chrono::milliseconds RadioUsers::run() {
    using std::chrono::milliseconds;
    if (!m_started) return milliseconds(1000);
    // What the node sends is taken as it comes, and the loop runs the steps again then; without
    // input, the next step due is a wait that ends or an expectation that times out.
    auto next = Clock::now() + milliseconds(1000);
    for (auto& [name, u] : m_users) {
        while (!u.steps.empty() && runStep(u)) {
            u.steps.pop_front();
            u.stepStarted = false;
        }
        if (!u.steps.empty()) next = std::min(next, u.stepStart + u.steps.front().limit);
    }
    return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(next - Clock::now()));
}

bool RadioUsers::scriptDone() const {
    for (const auto& [name, u] : m_users)
        if (!u.steps.empty()) return false;
    return true;
}

} // namespace tncsim
