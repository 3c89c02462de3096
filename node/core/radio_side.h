// What the node core needs of the radio side (the setup window that owns the serial port,
// the TNC drivers and the IP link): sending to a stream, labelling a stream, the port and
// connection choices, and the connection checks.
#pragma once

#include <cstddef>
#include <string>

namespace gw {

enum class IpConnectionType { FullTime, DialUp, DialBackup };

class RadioSide {
  public:
    virtual ~RadioSide() = default;

    virtual void SendData(int nPort, const std::string& sStreamID, const std::string& sData) = 0;
    // Sends a file from the file folder; the number of bytes handed to the TNC.
    virtual std::size_t SendFile(int nPort, const std::string& sStreamID,
                                 const std::string& sFile) = 0;
    virtual void SendDisconnect(int nPort, const std::string& sStreamID) = 0;
    // The label of stream-table index n ("1/A"), or "" for an index beyond the streams in use.
    virtual std::string GetLabel(int nStream) = 0;

    virtual bool bPort1() const = 0;
    virtual bool bPort2() const = 0;
    virtual long lMaxusers1() const = 0;

    virtual IpConnectionType ipConnectionType() const = 0;
    virtual std::string hangUpDelayText() const = 0;
    virtual bool bConnectedByDialup() const = 0;
    virtual bool VerifyFullTime() = 0;
    virtual bool VerifyConnection() = 0;
    // Hangs up the dial-up link (the operator's Disconnect, or an idle link's countdown).
    virtual void hangUp() = 0;
};

} // namespace gw
