// Scripted TNCs for driver and dispatch tests: just enough of a Kantronics in terminal and
// host mode and of a TNC2 in command and converse mode, answering on the fake clock.
#pragma once

#include "tnc_fakes.h"

namespace gw::test {

// A Kantronics TNC as far as these tests need it.
struct ScriptedKantronics {
    explicit ScriptedKantronics(FakeSerial& line) : serial(line) {
        serial.onWrite = [this](const std::string& text) { heard(text); };
    }
    void heard(const std::string& text) {
        received += text;
        if (off) return;
        if (!host) {
            terminal += text;
            for (std::size_t cr = terminal.find('\r'); cr != std::string::npos;
                 cr = terminal.find('\r')) {
                const std::string line = terminal.substr(0, cr);
                terminal.erase(0, cr + 1);
                terminalLine(line);
            }
            return;
        }
        frames += text;
        for (;;) {
            const auto open = frames.find('\xC0');
            const auto close = open == std::string::npos ? open : frames.find('\xC0', open + 1);
            if (close == std::string::npos) break;
            const std::string body = frames.substr(open + 1, close - open - 1);
            frames.erase(0, close + 1);
            if (!body.empty()) hostFrame(body);
        }
    }
    void terminalLine(const std::string& line) {
        if (line == "INT HOST") {
            storedHost = true;
            serial.reply("INTFACE was TERMINAL\r\ncmd:");
        } else if (line == "RESET") {
            if (storedHost) {
                host = true;
                serial.reply("\xC0\xC0S00\xC0" + afterReset);
            } else {
                serial.reply("KANTRONICS KPC3\r\ncmd:");
            }
        } else if (line == "DISPLAY") {
            serial.reply(listing + "cmd:");
        } else {
            serial.reply("\r\ncmd:");
        }
    }
    void hostFrame(const std::string& body) {
        commands.push_back(body);
        if (body == "q") {
            host = false;
            storedHost = false;
            serial.reply("KANTRONICS KPC3\r\ncmd:");
            return;
        }
        if (silentAnswers > 0) {
            --silentAnswers;
            return;
        }
        if (body == "C10RESET") {
            serial.reply("\xC0\xC0S00\xC0");
        } else if (body.rfind("C10PACLEN", 0) == 0 && body.size() == 9) {
            serial.reply(fend("C10" + paclen));
        } else if (body == "C10MAXUSERS") {
            serial.reply(fend("C10" + maxusers));
        } else if (body.size() == 4 && body[0] == 'C' && body[3] == 'D') {
            serial.reply(fend(body.substr(0, 3)));
        } else {
            serial.reply(fend("C10"));
        }
    }

    FakeSerial& serial;
    bool host = false, storedHost = false, off = false;
    int silentAnswers = 0;
    std::string paclen = "PACLEN 128", maxusers = "MAXUSERS 10";
    std::string afterReset; // frames sent in the same piece as the reset confirmation
    std::string listing =
        "DISPLAY\r\nECHO ON\r\nINTFACE TERMINAL\r\nPACLEN 128\r\nSTREAMSW $7C (|)\r\n";
    std::string received, terminal, frames;
    std::vector<std::string> commands;
};

struct ScriptedTnc2 {
    explicit ScriptedTnc2(FakeSerial& line) : serial(line) {
        serial.onWrite = [this](const std::string& text) { heard(text); };
    }
    void heard(const std::string& text) {
        received += text;
        if (off) return;
        for (const char c : text) {
            if (!command) {
                if (c == '\x03') {
                    command = true;
                    serial.reply("\r\ncmd:");
                }
                continue;
            }
            if (c == '\x03') continue;
            if (echo) serial.reply(std::string(1, c) + (c == '\r' ? "\n" : ""));
            if (c != '\r') {
                pending += c;
                continue;
            }
            const std::string line = pending;
            pending.clear();
            commands.push_back(line);
            if (silentAnswers > 0) {
                --silentAnswers;
            } else if (line == "CONV") {
                command = false;
            } else if (line == "DISPLAY") {
                serial.reply("ECHO OFF\r\nPACLEN 128\r\nINTFACE TERMINAL\r\n\r\ncmd:");
            } else if (line == "PACLEN") {
                serial.reply(paclen + "\r\ncmd:");
            } else if (line == "USERS") {
                serial.reply(users + "\r\ncmd:");
            } else if (line.rfind("USERS ", 0) == 0) {
                serial.reply("USERS was " + users.substr(6) + "\r\ncmd:");
                users = line;
            } else if (line == "DISCONNECT") {
                serial.reply("\r\n*** DISCONNECTED\r\ncmd:");
            } else {
                serial.reply("\r\ncmd:");
            }
        }
    }
    FakeSerial& serial;
    bool command = true, echo = false, off = false;
    int silentAnswers = 0;
    std::string paclen = "PACLEN 128", users = "USERS 1";
    std::string received, pending;
    std::vector<std::string> commands;
};

} // namespace gw::test
