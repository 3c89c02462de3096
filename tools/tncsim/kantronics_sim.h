// A simulated Kantronics TNC (KPC-3 single-port, KPC-9612 dual-port, KAM): terminal mode
// with "cmd:" and optional echo, INTFACE HOST + RESET into host mode, host-mode frames
//   FEND type port stream body FEND,  body escaped C0 -> DB DC, DB -> DB DD both ways,
// "q" back to terminal mode, and radio users' connections as S and D frames.
#pragma once

#include "sim_line.h"
#include "sim_params.h"
#include "sim_tnc.h"

#include <set>
#include <string>
#include <vector>

namespace tncsim {

class KantronicsSim final : public SimTnc {
  public:
    enum class Model { Kpc3, Kpc9612, Kam };
    struct Options {
        Model model = Model::Kpc3;
        bool echo = true;
        bool startInHost = false;
        std::vector<std::string> unanswered; // commands (by name) the TNC never answers
    };

    KantronicsSim(SimLine& line, Options options);

    void fromHost(std::string_view bytes) override;
    void userConnect(int port, char stream, const std::string& call) override;
    void userData(int port, char stream, const std::string& text) override;
    void userDisconnect(int port, char stream) override;
    void userLink(int port, char stream, Link link, const std::string& call) override;
    bool working() const override { return m_host; }

  private:
    void terminalByte(char c);
    void terminalLine(const std::string& line);
    void hostBytes(std::string_view bytes);
    void hostFrame(const std::string& body);
    void reset();
    void signOn();
    void frame(const std::string& header, const std::string& body);
    static std::string framed(const std::string& header, const std::string& body);
    bool unanswered(const std::string& command) const;
    static std::string key(int port, char stream);

    SimLine& m_line;
    Options m_options;
    SimParams m_params;
    bool m_host = false;
    std::string m_typed;
    std::string m_frames;
    std::set<std::string> m_connected;
};

} // namespace tncsim
