// The simulated TNC2.
#include "tnc2_sim.h"

#include <cstdlib>

namespace tncsim {

Tnc2Sim::Tnc2Sim(SimLine& line, Options options)
    : m_line(line), m_options(std::move(options)),
      m_params({{"AUTOLF", "ON"},
                {"CANLINE", "$18"},
                {"CANPAC", "$19"},
                {"COMMAND", "$03"},
                {"DELETE", "OFF"},
                {"ECHO", m_options.echo ? "ON" : "OFF"},
                {"MAXFRAME", "4"},
                {"MONITOR", "ON"},
                {"MYCALL", "NOCALL"},
                {"PACLEN", "128"},
                {"PASS", "$16"},
                {"REDISPLA", "$12"},
                {"SENDPAC", "$0D"},
                {"STREAMSW", "$7C"},
                {"TRACE", "OFF"},
                {"USERS", "1"}}) {}

char Tnc2Sim::special(const std::string& name) const {
    const std::string value = m_params.get(name);
    if (value.rfind('$', 0) == 0)
        return static_cast<char>(std::strtol(value.c_str() + 1, nullptr, 16));
    return static_cast<char>(std::strtol(value.c_str(), nullptr, 10));
}

void Tnc2Sim::fromHost(std::string_view bytes) {
    for (const char c : bytes) {
        if (m_command)
            commandByte(c);
        else
            converseByte(c);
    }
}

void Tnc2Sim::commandByte(char c) {
    if (c == '\x03' || c == '\n') return;
    if (m_params.isOn("ECHO")) m_line.send(c == '\r' ? eol() : std::string(1, c));
    if (c != '\r') {
        if (m_typed.size() < 1024) m_typed += c;
        return;
    }
    const std::string line = trimmed(m_typed);
    m_typed.clear();
    commandLine(line);
}

void Tnc2Sim::commandLine(const std::string& line) {
    const std::string lead = m_params.isOn("ECHO") ? "" : eol();
    if (line.empty()) {
        m_line.send(lead + "cmd:");
        return;
    }
    const std::string name = upper(line.substr(0, line.find(' ')));
    for (const auto& silent : m_options.unanswered)
        if (upper(silent) == name) return;
    if (name == "CONV" || name == "CONVERSE" || name == "K") {
        m_command = false;
        if (log) log("converse mode");
        return;
    }
    if (name == "D" || name == "DISCONNECT" || name == "DISC") {
        if (m_connected.erase(m_inputStream) != 0) {
            m_line.send(lead + "*** DISCONNECTED" + eol() + "cmd:");
            if (droppedByNode) droppedByNode(1, m_inputStream);
        } else {
            m_line.send(lead + "Not while disconnected" + eol() + "cmd:");
        }
        return;
    }
    if (name == "DISPLAY" || name == "DISP") {
        std::string listing = m_params.listing();
        if (!m_params.isOn("AUTOLF"))
            for (std::size_t at = listing.find('\n'); at != std::string::npos;
                 at = listing.find('\n'))
                listing.erase(at, 1);
        m_line.send(lead + listing + "cmd:");
        return;
    }
    const auto answer = m_params.command(line);
    m_line.send(lead + (answer ? *answer : std::string("EH?")) + eol() + "cmd:");
}

void Tnc2Sim::converseByte(char c) {
    if (m_passNext) {
        m_passNext = false;
        if (m_params.isOn("ECHO")) m_line.send(std::string(1, c));
        m_packet += c;
        return;
    }
    if (c == special("COMMAND")) {
        m_command = true;
        m_switching = false;
        m_packet.clear();
        m_line.send(eol() + "cmd:");
        if (log) log("command mode");
        return;
    }
    if (c == special("PASS")) {
        m_passNext = true;
        return;
    }
    // The pitfall the node's start-up files avoid: typed text comes back when ECHO is on.
    if (m_params.isOn("ECHO")) m_line.send(std::string(1, c));
    if (m_switching) {
        m_switching = false;
        m_inputStream = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return;
    }
    if (c == special("STREAMSW")) {
        m_switching = true;
        return;
    }
    if (c == special("SENDPAC")) {
        if (c == '\r') m_packet += c;
        if (m_connected.count(m_inputStream) != 0 && toUser) toUser(1, m_inputStream, m_packet);
        m_packet.clear();
        return;
    }
    if (c == special("CANPAC")) {
        m_packet.clear();
        return;
    }
    if (c == special("CANLINE")) {
        const auto lineStart = m_packet.rfind('\r');
        m_packet.erase(lineStart == std::string::npos ? 0 : lineStart + 1);
        return;
    }
    if (c == (m_params.isOn("DELETE") ? '\x7F' : '\x08')) {
        if (!m_packet.empty()) m_packet.pop_back();
        return;
    }
    if (c == special("REDISPLA")) {
        m_line.send(eol() + m_packet);
        return;
    }
    m_packet += c;
}

void Tnc2Sim::output(char stream, const std::string& text) {
    std::string out;
    if (stream != m_outputStream) {
        out += std::string("|") + stream;
        m_outputStream = stream;
    }
    m_line.send(out + text);
}

bool Tnc2Sim::busyFor(char stream) const {
    if (m_connected.count(stream) != 0) return false;
    // USERS 0 leaves every stream open to callers.
    const long users = std::strtol(m_params.get("USERS").c_str(), nullptr, 10);
    return users > 0 && m_connected.size() >= static_cast<std::size_t>(users);
}

// The caller's own TNC prints the busy answer; the host hears nothing of him.
void Tnc2Sim::refuseBusy(char stream, const std::string& call) {
    if (log) log("1" + std::string(1, stream) + " " + call + " answered busy");
    if (toUser) toUser(1, stream, "*** " + m_params.get("MYCALL") + " busy\r");
}

void Tnc2Sim::userConnect(int, char stream, const std::string& call) {
    if (busyFor(stream)) {
        refuseBusy(stream, call);
        return;
    }
    m_connected.insert(stream);
    output(stream, eol() + "*** CONNECTED to " + call + eol());
}

void Tnc2Sim::userData(int, char stream, const std::string& text) {
    if (m_connected.count(stream) == 0) return;
    std::string line = text;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    output(stream, line + eol());
}

void Tnc2Sim::userDisconnect(int, char stream) {
    if (m_connected.erase(stream) == 0) return;
    output(stream, eol() + "*** DISCONNECTED" + eol());
}

void Tnc2Sim::userLink(int, char stream, Link link, const std::string& call) {
    if (connectedAfter(link, false) && busyFor(stream)) {
        refuseBusy(stream, call);
        return;
    }
    std::string text;
    for (const std::string& line : linkLines(link, call))
        text += eol() + line + eol();
    if (connectedAfter(link, m_connected.count(stream) != 0))
        m_connected.insert(stream);
    else
        m_connected.erase(stream);
    output(stream, text);
}

} // namespace tncsim
