// What the TNC dispatch needs of the node's main window: the two driver events, the stream
// index, the monitor and log, the outgoing traffic indicator and the TNC status label.
#pragma once

#include <string>

namespace gw {

class MainWindowPort {
  public:
    virtual ~MainWindowPort() = default;
    virtual void StatusEvent(const std::string& sStatus) = 0;
    virtual void DataEvent(const std::string& sData) = 0;
    // Table index of a stream; 0 when the stream is not the core's.
    virtual int Index(const std::string& sStreamID, int nPort) = 0;
    virtual void MonitorMsg(int nPort, const std::string& sStreamID, const std::string& sMsg) = 0;
    virtual void Log(const std::string& sLine) = 0;
    // lblTfc(index - 1): the outgoing arrow "  <------" on light green.
    virtual void showOutgoingTraffic(int index) = 0;
    // lblTNC: the TNC's state; `working` picks light green, otherwise light red.
    virtual void setTncStatus(const std::string& text, bool working) = 0;
};

} // namespace gw
