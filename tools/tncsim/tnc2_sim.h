// A simulated TNC2 (TAPR TNC-2, MFJ-1270B, MFJ-1274): command mode with "cmd:" and optional
// echo (a real TNC2 echoes in converse mode too), CONV into converse mode, and in converse
// mode the special characters as set: COMMAND back to command mode, STREAMSW + letter to
// switch streams, SENDPAC ending a packet, PASS making the next character literal, CANLINE,
// CANPAC and DELETE editing the packet; users' lines and link messages as text. A caller beyond
// USERS connected streams is answered busy, as a real TNC2 answers him.
#pragma once

#include "sim_line.h"
#include "sim_params.h"
#include "sim_tnc.h"

#include <set>
#include <string>
#include <vector>

namespace tncsim {

class Tnc2Sim final : public SimTnc {
  public:
    struct Options {
        bool echo = true;
        std::vector<std::string> unanswered;
    };

    Tnc2Sim(SimLine& line, Options options);

    void fromHost(std::string_view bytes) override;
    void userConnect(int port, char stream, const std::string& call) override;
    void userData(int port, char stream, const std::string& text) override;
    void userDisconnect(int port, char stream) override;
    void userLink(int port, char stream, Link link, const std::string& call) override;
    bool working() const override { return !m_command; }

  private:
    void commandByte(char c);
    void commandLine(const std::string& line);
    void converseByte(char c);
    void output(char stream, const std::string& text);
    // Whether a caller on `stream` finds the TNC busy: USERS streams are connected already.
    bool busyFor(char stream) const;
    void refuseBusy(char stream, const std::string& call);
    // The character a parameter holds ("$16"); 0 when it holds none.
    char special(const std::string& name) const;
    std::string eol() const { return m_params.isOn("AUTOLF") ? "\r\n" : "\r"; }

    SimLine& m_line;
    Options m_options;
    SimParams m_params;
    bool m_command = true;
    std::string m_typed;
    std::string m_packet;
    bool m_switching = false;
    bool m_passNext = false;
    char m_inputStream = 'A';
    char m_outputStream = 'A';
    std::set<char> m_connected;
};

} // namespace tncsim
