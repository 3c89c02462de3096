// The Kantronics host-mode driver shared by the single-port, dual-port and KAM variants: mode
// detection, entering and leaving host mode, commands with one repeat, start-up file, packet
// length and user limits, and received frames turned into the node core's events.
#pragma once

#include "tnc/event_queue.h"
#include "tnc/host_frame_codec.h"
#include "tnc/hosted_driver.h"

#include <string>

namespace gw {

// Where the three variants differ.
struct KantronicsVariant {
    const char* stateKey;   // the saved DISPLAY listing's settings name
    bool disconnectOnPort1; // single-port units take every disconnect on port 1
    bool clearFrameOnRetry; // single-port units forget a partial frame before a repeat
    bool dualPort;          // PACLEN and MAXUSERS answer "a/b"
};

class CKantronics : public HostedDriver {
  public:
    // The raw buffer keeps at least this much of the most recent text for the waits.
    static constexpr std::size_t kRawKeep = 64 * 1024;

    bool Init() override;
    // The TNC answers when its mode, terminal or host, can be found.
    bool CheckComm() override;
    bool SendCommand(const std::string& sCommand) override;
    void SendData(const std::string& sData, const std::string& sStream, int nPort) override;
    void SerialIn(const std::string& sNewSerialData) override;
    void ClearFrame() override;
    bool SendDisconnect(const std::string& sStream, int nPort) override;
    bool Restore() override;

    bool FindInitialState(bool& bHost);
    bool SetHostMode();
    bool ClearHostMode();

    bool hostMode() const { return m_hostMode; }
    const std::string& lastCommandAnswer() const { return m_lastAnswer; }
    const std::string& lastDataFrame() const { return m_lastData; }
    const std::string& rawBuffer() const { return m_raw; }
    std::size_t pendingFrameBytes() const { return m_decoder.pending(); }

  protected:
    CKantronics(TncHost& host, KantronicsVariant variant);

  private:
    void onFrame(const std::string& body);
    void raiseQueued();
    void clearRaw() { m_raw.clear(); }
    bool rawHas(std::string_view text) const { return m_raw.find(text) != std::string::npos; }
    void readPaclen(const std::string& answer);
    void readMaxusers(const std::string& answer);

    KantronicsVariant m_variant;
    HostFrameDecoder m_decoder;
    // Data and status frames cut but not yet raised.
    EventQueue<std::string> m_events;
    bool m_bHost = false;
    bool m_hostMode = false;
    std::string m_raw;
    std::string m_lastAnswer;
    std::string m_lastData;
    bool m_answerFlag = false;
};

} // namespace gw
