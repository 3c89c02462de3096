// The simulated Kantronics TNC.
#include "kantronics_sim.h"
#include "kiss_codec.h"

namespace tncsim {
namespace {
constexpr char kFend = '\xC0';
std::vector<std::pair<std::string, std::string>> defaults(KantronicsSim::Model model, bool echo) {
    const bool dual = model != KantronicsSim::Model::Kpc3;
    return {{"ABAUD", "9600"},
            {"AUTOLF", "ON"},
            {"COMMAND", "$03"},
            {"ECHO", echo ? "ON" : "OFF"},
            {"INTFACE", "TERMINAL"},
            {"MAXFRAME", dual ? "4/4" : "4"},
            {"MAXUSERS", dual ? "10/10" : "10"},
            {"MONITOR", "ON"},
            {"MYCALL", "NOCALL"},
            {"PACLEN", dual ? "128/128" : "128"},
            {"SENDPAC", "$0D"},
            {"STREAMSW", "$7C"}};
}
} // namespace

KantronicsSim::KantronicsSim(SimLine& line, Options options)
    : m_line(line), m_options(std::move(options)),
      m_params(defaults(m_options.model, m_options.echo)) {
    if (m_options.startInHost) {
        m_params.set("INTFACE", "HOST");
        m_host = true;
    }
}

std::string KantronicsSim::key(int port, char stream) {
    return std::to_string(port) + stream;
}

std::string KantronicsSim::framed(const std::string& header, const std::string& body) {
    return std::string(1, kFend) + header + escapeFend(body) + kFend;
}

void KantronicsSim::frame(const std::string& header, const std::string& body) {
    m_line.send(framed(header, body));
}

bool KantronicsSim::unanswered(const std::string& command) const {
    const std::string name = upper(command.substr(0, command.find(' ')));
    for (const auto& silent : m_options.unanswered)
        if (upper(silent) == name) return true;
    return false;
}

void KantronicsSim::fromHost(std::string_view bytes) {
    if (m_host) {
        hostBytes(bytes);
        return;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        terminalByte(bytes[i]);
        // A line may have switched the TNC to host mode: the rest is host-mode input.
        if (m_host) {
            hostBytes(bytes.substr(i + 1));
            return;
        }
    }
}

void KantronicsSim::terminalByte(char c) {
    if (c == '\n') return;
    if (m_params.isOn("ECHO")) m_line.send(c == '\r' ? std::string("\r\n") : std::string(1, c));
    if (c != '\r') {
        if (m_typed.size() < 1024) m_typed += c;
        return;
    }
    const std::string line = m_typed;
    m_typed.clear();
    terminalLine(line);
}

void KantronicsSim::signOn() {
    const char* name = m_options.model == Model::Kpc3      ? "KPC3P"
                       : m_options.model == Model::Kpc9612 ? "KPC9612P"
                                                           : "KAM XL";
    m_line.send(std::string("\r\nKANTRONICS ") + name +
                " VERSION 9.1\r\n"
                "(C) COPYRIGHT 2002-2005 BY KANTRONICS INC. ALL RIGHTS RESERVED.\r\ncmd:");
}

void KantronicsSim::reset() {
    for (const auto& user : std::set<std::string>(m_connected)) {
        if (log) log(user + " lost by reset");
        if (droppedByNode) droppedByNode(user[0] - '0', user[1]);
    }
    m_connected.clear();
    if (upper(m_params.get("INTFACE")) == "HOST") {
        m_host = true;
        m_frames.clear();
        m_line.send("\xC0\xC0S00\xC0");
        if (log) log("host mode");
    } else {
        m_host = false;
        signOn();
    }
}

void KantronicsSim::terminalLine(const std::string& line) {
    const std::string text = trimmed(line);
    const std::string lead = m_params.isOn("ECHO") ? "" : "\r\n";
    if (text.empty()) {
        m_line.send(lead + "cmd:");
        return;
    }
    if (unanswered(text)) return;
    const std::string name = upper(text.substr(0, text.find(' ')));
    if (name == "RESET" || name == "RESTART") {
        reset();
    } else if (name == "DISPLAY" || name == "DISP") {
        m_line.send(lead + m_params.listing() + "cmd:");
    } else if (const auto answer = m_params.command(text)) {
        m_line.send(lead + *answer + "\r\ncmd:");
    } else {
        m_line.send(lead + "EH?\r\ncmd:");
    }
}

void KantronicsSim::hostBytes(std::string_view bytes) {
    m_frames.append(bytes);
    for (;;) {
        const auto open = m_frames.find(kFend);
        if (open == std::string::npos) {
            m_frames.clear();
            return;
        }
        const auto close = m_frames.find(kFend, open + 1);
        if (close == std::string::npos) {
            m_frames.erase(0, open);
            return;
        }
        if (close == open + 1) {
            m_frames.erase(0, close);
            continue;
        }
        const std::string body = unescapeFend(m_frames.substr(open + 1, close - open - 1));
        m_frames.erase(0, close + 1);
        hostFrame(body);
        if (!m_host) {
            // Back in terminal mode: what follows is typed text.
            const std::string rest = m_frames;
            m_frames.clear();
            fromHost(rest);
            return;
        }
    }
}

void KantronicsSim::hostFrame(const std::string& body) {
    if (log) log("host frame " + body);
    if (body == "q" || body == "Q") {
        m_host = false;
        m_params.set("INTFACE", "TERMINAL");
        if (log) log("terminal mode");
        signOn();
        return;
    }
    if (body.size() < 3) return;
    const char type = body[0];
    const int port = body[1] - '0';
    const char stream = body[2];
    const std::string rest = body.substr(3);
    if (type == 'D') {
        if (m_connected.count(key(port, stream)) != 0 && toUser) toUser(port, stream, rest);
        return;
    }
    if (type != 'C') return;
    if (unanswered(rest)) return;
    const std::string header = body.substr(0, 3);
    if (stream != '0' && (upper(rest) == "D" || upper(rest) == "DISCONNECT")) {
        frame(header, "");
        if (m_connected.erase(key(port, stream)) != 0) {
            frame("S" + key(port, stream), "*** DISCONNECTED");
            if (droppedByNode) droppedByNode(port, stream);
        }
        return;
    }
    const std::string name = upper(rest.substr(0, rest.find(' ')));
    if (name == "RESET" || name == "RESTART") {
        // A command without output answers with an empty body, before the reset itself.
        frame(header, "");
        reset();
    } else if (name == "DISPLAY" || name == "DISP") {
        frame(header, m_params.listing());
    } else if (rest.empty()) {
        frame(header, "");
    } else if (const auto answer = m_params.command(rest)) {
        frame(header, *answer);
    } else {
        frame(header, "EH?");
    }
}

void KantronicsSim::userConnect(int port, char stream, const std::string& call) {
    m_connected.insert(key(port, stream));
    const std::string text = "*** CONNECTED to " + call;
    if (m_host)
        frame("S" + key(port, stream), text);
    else
        m_line.send("\r\n" + text + "\r\n");
}

void KantronicsSim::userData(int port, char stream, const std::string& text) {
    if (m_connected.count(key(port, stream)) == 0) return;
    if (m_host)
        frame("D" + key(port, stream), text);
    else
        m_line.send(text + "\n");
}

void KantronicsSim::userDisconnect(int port, char stream) {
    if (m_connected.erase(key(port, stream)) == 0) return;
    if (m_host)
        frame("S" + key(port, stream), "*** DISCONNECTED");
    else
        m_line.send("\r\n*** DISCONNECTED\r\n");
}

void KantronicsSim::userLink(int port, char stream, Link link, const std::string& call) {
    const std::string who = key(port, stream);
    // All lines in one write, as a TNC reporting them together does.
    std::string text;
    for (const std::string& line : linkLines(link, call))
        text += m_host ? framed("S" + who, line) : "\r\n" + line + "\r\n";
    if (connectedAfter(link, m_connected.count(who) != 0))
        m_connected.insert(who);
    else
        m_connected.erase(who);
    m_line.send(text);
}

} // namespace tncsim
