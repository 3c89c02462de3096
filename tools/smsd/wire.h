// The line protocol as smsd reads and writes it.
//
// Requests (lines end CR LF; a bare LF is accepted too, for hand-typed requests):
//   L|mbocall|enc(password)|usercall|
//   R|mbocall|enc(password)|usercall|enc(mid)|      (K the same)
//   S|mbocall|enc(password)|usercall|enc(mid)|
//     then header lines "Key: value" (Mid, Date, From, To..., Cc..., Subject), an empty
//     line, the body lines, and a line "/EX"
// enc(): "\" travels as "\0" and "|" as "\1".
// Replies: L one line per waiting message enc(mid)|yyyy/mm/dd hh:nn|size|from|enc(subject);
// R the header block, an empty line, the body and "/EX"; K and S nothing. The server ends
// every reply by closing the connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace smsd {

std::string encodeField(std::string_view text);
std::string decodeField(std::string_view text);

struct Request {
    char command = 0; // 'L', 'R', 'K' or 'S'
    std::string mboCall;
    std::string password;
    std::string userCall;
    std::string mid;
    // S only.
    std::string date;
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::string subject;
    std::string body; // lines joined with CR LF
};

struct ParseResult {
    enum class Status { Incomplete, Complete, Malformed } status = Status::Incomplete;
    Request request;
    std::string problem; // why a request is malformed
};

// Reads a request from the text received so far.
ParseResult parseRequest(std::string_view received);

// Reads one request as its bytes arrive, looking at each byte once: the request line first
// (so its account can be checked before a long message is read), then an S request's message.
class RequestReader {
  public:
    enum class State { Line, Message, Complete, Malformed };

    RequestReader(std::size_t maxLine, std::size_t maxRequest);

    // Takes the next bytes; the state after them. Bytes after a complete request are ignored.
    State feed(std::string_view bytes);
    State state() const { return m_state; }
    // True once the request line has been read: command, calls, password and MID are known.
    bool headerRead() const { return m_state == State::Message || m_state == State::Complete; }
    const Request& request() const { return m_request; }
    const std::string& problem() const { return m_problem; }
    std::size_t received() const { return m_received; }

  private:
    void takeLine(std::string_view line);
    void fail(std::string problem);

    std::size_t m_maxLine;
    std::size_t m_maxRequest;
    State m_state = State::Line;
    Request m_request;
    std::string m_problem;
    std::string m_partial; // the line still arriving
    std::size_t m_received = 0;
    bool m_inBody = false; // past the empty line after an S request's headers
    bool m_bodyStarted = false;
};

} // namespace smsd
