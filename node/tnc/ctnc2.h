// The driver for TNC2-compatible controllers ("TNC2", "MFJ1270B", "MFJ1274") in their text
// command and converse modes: answers end at "cmd:", converse lines become data and status.
#pragma once

#include "tnc/event_queue.h"
#include "tnc/hosted_driver.h"
#include "tnc/tnc_text.h"

#include <optional>
#include <string>

namespace gw {

class CTNC2 final : public HostedDriver {
  public:
    // The raw buffer keeps at least this much of the most recent text; a converse line
    // longer than this is handed on as data without waiting for its carriage return.
    static constexpr std::size_t kRawKeep = 64 * 1024;
    static constexpr std::size_t kMaxLine = 64 * 1024;

    explicit CTNC2(TncHost& host);

    bool Init() override;
    // The TNC answers when it shows its command prompt.
    bool CheckComm() override;
    bool SendCommand(const std::string& sCommand) override;
    void SendData(const std::string& sData, const std::string& sStream, int nPort) override;
    void SerialIn(const std::string& sNewSerialData) override;
    void ClearFrame() override;
    bool SendDisconnect(const std::string& sStream, int nPort) override;
    bool Restore() override;

    bool SetCmdMode();

    bool commandMode() const { return m_commandMode; }
    const std::string& lastCommandAnswer() const { return m_lastAnswer; }
    const std::string& lastStatusLine() const { return m_lastStatus; }
    const std::string& rawBuffer() const { return m_raw; }
    std::size_t pendingLineBytes() const { return m_line.size(); }

  private:
    bool rawHas(std::string_view text) const { return m_raw.find(text) != std::string::npos; }
    void raiseStatus(const std::string& status);
    void raiseData(const std::string& line);
    void cutConverse();
    void takeLine(std::string line);
    void raiseQueued();
    void enterConverse();
    // The user count in the last answer to "USERS"; nothing when it holds no number.
    std::optional<long> usersAnswered() const;

    struct Event {
        bool status;
        std::string text;
    };

    std::string m_line;
    // Lines cut but not yet raised.
    EventQueue<Event> m_events;
    // An empty line is held until the next one shows whether it was the TNC's own blank
    // line before a link message or a blank line of the user's text.
    bool m_blankHeld = false;
    ConverseSpecials m_specials;
    bool m_commandMode = false;
    std::string m_raw;
    std::string m_lastAnswer;
    std::string m_lastStatus;
    bool m_answerFlag = false;
};

} // namespace gw
