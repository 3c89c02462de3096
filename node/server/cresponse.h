// CResponse: one reply from the short-message server, collected piece by piece and parsed
// once the exchange has ended.
//
// Wire format of the replies (lines end CR LF):
//   L: one line per waiting message: enc(mid)|yyyy/mm/dd hh:nn|size|from|enc(subject)[|...]
//   R: header lines "Key: value" (Mid, Date, From, To..., Cc..., Subject), an empty line,
//      the body, usually followed by a line "/EX"; no empty line means the text is an error
//   K: nothing is interpreted; a normal close by the server is the success
//   S: a normal close without text is the success; a text is the server's refusal, its first
//      line the reason ("MID already stored: <mid>" when it holds the message already)
#pragma once

#include "server/clist.h"
#include "server/cmid_entry.h"

#include <QDateTime>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace gw {

// The start of a server's refusal of a MID it holds already.
inline constexpr std::string_view kAlreadyStored = "MID already stored";

class CResponse {
  public:
    std::string Session;
    std::string Command;
    std::string Error;
    std::unique_ptr<CList<CMidEntry>> MidList; // set by a successful list reply only
    std::string Mid;
    QDateTime Originated = dateZero();
    std::string From;
    std::int32_t Size = 0;
    std::string Subject;
    std::string Header;
    std::string AddressTo;
    std::string AddressCc;
    std::string Body;
    // S: the server answered and refused the message (Error holds its reason).
    bool Refused = false;

    // Appends received text to the reply buffer.
    void Response(std::string_view text) { m_buffer.append(text); }
    // Parses the buffer when Error is "OK" (any case), by Command.
    void ResponseComplete();
    void ParseListReply();
    void ParseReadReply();
    void ParseSendReply();
    // S: the server refused the message because it holds that MID already.
    bool alreadyStored() const;

    const std::string& replyText() const { return m_buffer; }
    std::size_t replySize() const { return m_buffer.size(); }

  private:
    std::string m_buffer;
};

} // namespace gw
