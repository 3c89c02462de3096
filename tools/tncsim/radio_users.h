// The radio side's users: scripted (per stream a list of connect / send / expect / wait /
// disconnect steps, several streams at once) or one interactive user typing on stdin.
//
// Script lines: "<port><stream> <step> [argument]", for example
//   1A connect N0CALL        1A send LM           1A expect SMS> 20
//   1A wait 500              1A disconnect        1A expect-disconnect 15
// and the TNC's other link messages: connect-colon CALL ("CONNECTED to: CALL"),
// connect-request CALL, busy CALL, retry-exceeded (then DISCONNECTED), and reconnect CALL
// (DISCONNECTED and CONNECTED to CALL in one write; later expects are the new caller's).
// KISS stations also: connect CALL via DIGI1,DIGI2, vanish, never-ack, raw C0 00 .. C0 (bytes
// onto the line in hex), garbage N (N bytes without FEND), flood N (N callers send SABM).
// "#" starts a comment line. In arguments "\xHH" stands for any byte and "\r" for CR.
// Steps of one stream run in order; streams run side by side. The RadioUsers take over the
// TNC's callbacks and print what it tells them.
#pragma once

#include "sim_line.h"
#include "sim_tnc.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace tncsim {

class RadioUsers {
  public:
    using Print = std::function<void(const std::string&)>;
    RadioUsers(SimTnc& tnc, Print print);

    bool loadScript(const std::string& path, std::string& error);
    bool parseLine(const std::string& line, std::string& error);
    void setInteractive(int port, char stream) {
        m_interactivePort = port;
        m_interactiveStream = stream;
    }
    // Scripts begin when the TNC first reaches its working mode.
    void start();
    bool started() const { return m_started; }

    void fromNode(int port, char stream, const std::string& text);
    void droppedByNode(int port, char stream);
    // A line the interactive user typed: text for the node, or /connect CALL, /disconnect.
    void typed(const std::string& line);

    // Runs the steps that can run now; returns how long until the next check.
    std::chrono::milliseconds run();
    bool scriptDone() const;
    int failures() const { return m_failures; }

    static std::string visible(const std::string& bytes);

  private:
    enum class Kind { Connect, Send, Expect, ExpectDisconnect, Wait, Disconnect, Link, Special };
    struct Step {
        Kind kind;
        std::string text;
        std::chrono::milliseconds limit{0};
        SimTnc::Link link = SimTnc::Link::ConnectColon;
        SimTnc::Special special = SimTnc::Special::Vanish;
    };
    bool parseSpecial(const std::string& verb, const std::string& argument, Step& step,
                      std::string& error) const;
    struct User {
        int port = 1;
        char stream = 'A';
        std::deque<Step> steps;
        bool stepStarted = false;
        Clock::time_point stepStart{};
        std::string heard;
        bool connected = false;
        bool dropped = false;
    };
    bool runStep(User& user);
    User& user(int port, char stream);

    SimTnc& m_tnc;
    Print m_print;
    std::map<std::string, User> m_users;
    bool m_started = false;
    int m_failures = 0;
    int m_interactivePort = 0;
    char m_interactiveStream = 'A';
};

} // namespace tncsim
