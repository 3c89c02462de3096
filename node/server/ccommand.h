// CCommand: one request to the short-message server, and its rendering as request text.
//
// Wire format (every line ends CR LF; "|" ends every field, the last one included):
//   L|mbocall|enc(password)|usercall|
//   R|mbocall|enc(password)|usercall|enc(mid)|        (K the same with "K|")
//   S|mbocall|enc(password)|usercall|enc(mid)|
//   Mid: mid / Date: yyyy/mm/dd hh:nn / From: usercall / To: addr (one per address)
//   Cc: addr (one per address, only when there are any) / Subject: subject
//   (empty line) / body / "/EX"
#pragma once

#include <QDateTime>
#include <string>

namespace gw {

class CCommand {
  public:
    std::string Session; // routing key back to the stream; never sent
    std::string UserCall;
    std::string MBOCall;
    std::string MBOPassword;
    std::string Command; // "L", "R", "K" or "S" in any case
    std::string Mid;
    std::string AddressTo; // S: addresses separated by ";"
    std::string AddressCc; // S: may be empty
    std::string Subject;
    std::string Body; // lines separated by CR LF
    QDateTime Originated;

    // The request text, or empty text when the record cannot be sent. Rendering an S
    // request fills an empty Subject or Body with its placeholder, so it renders the same
    // every time.
    std::string CommandToServer();
    // The S request text; empty when Mid or AddressTo is empty.
    std::string BuildSendText();
};

} // namespace gw
