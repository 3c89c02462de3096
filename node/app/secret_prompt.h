// Reading a secret from the operator: without echo on the controlling terminal when standard
// input is one, else one line of standard input. A stop signal or the end of input cancels.
#pragma once

#include <csignal>
#include <optional>
#include <string>

namespace gw {

class SecretPrompt {
  public:
    SecretPrompt();
    ~SecretPrompt();
    SecretPrompt(const SecretPrompt&) = delete;
    SecretPrompt& operator=(const SecretPrompt&) = delete;

    // Whether the secret is typed on a terminal (and so asked twice).
    bool onTerminal() const { return m_tty >= 0; }
    // Shows `prompt` on the terminal (nothing on standard input) and reads one line without
    // its line end; nullopt when cancelled, at the end of input, or when it cannot be read.
    std::optional<std::string> ask(const std::string& prompt);

  private:
    std::optional<std::string> readLine(int fd);

    int m_tty = -1;     // /dev/tty, open while standard input is a terminal
    int m_signals = -1; // the stop signals, held and read here while a line is awaited
    sigset_t m_heldBefore{};
};

} // namespace gw
