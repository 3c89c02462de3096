// The contract every TNC driver offers the setup window and the dispatch.
#pragma once

#include <string>

namespace gw {

class TncDriver {
  public:
    virtual ~TncDriver() = default;
    // Brings the TNC into the driver's working mode; true on success.
    virtual bool Init() = 0;
    // Whether the TNC answers: the operator's check of the line before an Initialize.
    virtual bool CheckComm() = 0;
    virtual bool SendCommand(const std::string& sCommand) = 0;
    // One packet of user text to a stream; no wait.
    virtual void SendData(const std::string& sData, const std::string& sStream, int nPort) = 0;
    // Received serial text; raises the node core's events for complete frames or lines.
    virtual void SerialIn(const std::string& sNewSerialData) = 0;
    virtual void ClearFrame() = 0;
    virtual bool SendDisconnect(const std::string& sStream, int nPort) = 0;
    virtual long Paclen(int nPort) const = 0;
    virtual bool Restore() = 0;
};

} // namespace gw
