// The radio users' command language: one data frame at a time, by the stream's input state
// (command, awaiting subject, awaiting body). Server requests go on the command queue and
// their answers come back through the reply timer.
#include "core/node_core.h"

#include "common/text.h"
#include "core/console_rules.h"
#include "server/ccommand.h"
#include "server/cmid_generator.h"
#include "server/session_key.h"

#include <set>

namespace gw {
namespace {
constexpr char CR = '\r';
// The prompt on a line of its own.
const std::string kPromptLine = std::string(1, CR) + NodeCore::kPrompt;
// A message body longer than this is refused whole: the server link carries one request at
// a time, and a user's endless body must neither fill memory nor hold the others up.
constexpr std::size_t kMaxBody = 32 * 1024;

std::string payload(const std::string& sData) {
    return sData.size() > 3 ? sData.substr(3) : "";
}

// The text up to the first CR, trimmed; the whole text when there is no CR.
std::string firstLine(const std::string& text) {
    const auto cr = text.find(CR);
    return cr == std::string::npos ? text : trim(text.substr(0, cr));
}

// The monitor shows composed text with a marker at every line end.
std::string marked(const std::string& sData, const std::string& marker) {
    if (sData.find(CR) == std::string::npos) return sData + marker;
    std::string out;
    for (char c : sData) {
        if (c == CR) out += marker;
        out += c;
    }
    return out;
}

// A command line as the status views show it: no control characters, at most 40 of the rest.
std::string shownCommand(const std::string& line) {
    constexpr std::size_t kShown = 40;
    std::string shown;
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) continue;
        shown += c;
        if (shown.size() == kShown) break;
    }
    return shown;
}

enum class Verb { Help, Info, Bye, List, Kill, Read, SendPersonal, Ignore, Unknown };

Verb verbOf(const std::string& command) {
    static const std::pair<const char*, Verb> table[] = {{"H", Verb::Help},
                                                         {"HELP", Verb::Help},
                                                         {"I", Verb::Info},
                                                         {"INFO", Verb::Info},
                                                         {"B", Verb::Bye},
                                                         {"BYE", Verb::Bye},
                                                         {"QRT", Verb::Bye},
                                                         {"LOGOFF", Verb::Bye},
                                                         {"LOGOUT", Verb::Bye},
                                                         {"LM", Verb::List},
                                                         {"LISTMINE", Verb::List},
                                                         {"K", Verb::Kill},
                                                         {"KILL", Verb::Kill},
                                                         {"R", Verb::Read},
                                                         {"READ", Verb::Read},
                                                         {"SP", Verb::SendPersonal},
                                                         {"SENDPERSONAL", Verb::SendPersonal},
                                                         {"***", Verb::Ignore},
                                                         {"", Verb::Ignore}};
    const std::string upper = toUpper(command);
    for (const auto& [keyword, verb] : table)
        if (upper == keyword) return verb;
    return Verb::Unknown;
}
} // namespace

void NodeCore::interpretCommand(int index, const std::string& sData) {
    StreamRecord& entry = m_streams[index];
    const int port = entry.Port;
    const std::string letter = entry.StreamID;
    MonitorMsg(port, toLower(letter), sData);
    const std::string line = firstLine(trim(payload(sData)));
    if (!line.empty()) entry.LastCommand = shownCommand(line);
    std::string command = line;
    std::string argument;
    if (const auto space = line.find(' '); space != std::string::npos) {
        argument = trim(line.substr(space));
        command = trim(line.substr(0, space + 1));
    }
    switch (verbOf(command)) {
    case Verb::Help:
        radioSendFile(port, letter, "help.txt");
        radioSend(port, letter, kPromptLine);
        break;
    case Verb::Info:
        radioSendFile(port, letter, "info.txt");
        radioSend(port, letter, kPromptLine);
        break;
    case Verb::Bye:
        // The log tells a user's own Bye from a dropped link and an idle timeout.
        Log(std::to_string(port) + "/" + letter + ": Bye from " + entry.CallSign + " @ " + now());
        // Lines typed ahead of the Bye get their answers before the link drops.
        if (requestsWaiting(index) > 0) {
            entry.ByePending = true;
            entry.ByeDeadline = m_clock.elapsed() + kByeGrace;
        } else {
            m_radio->SendDisconnect(port, letter);
        }
        break;
    case Verb::List:
        if (refuseUnsendable(index, "list", callSignProblem("Call", entry.CallSign))) break;
        if (refuseWhenFull(index, "list")) break;
        queueRequest(index, newRequest(index, "L"));
        break;
    case Verb::Read:
    case Verb::Kill: {
        const bool read = verbOf(command) == Verb::Read;
        const char* counted = read ? "read" : "kill";
        if (refuseUnsendable(index, counted, callSignProblem("Call", entry.CallSign))) break;
        // An empty MID goes on as it always has: the request cannot be rendered and says so.
        if (!argument.empty() && !isNumeric(argument) &&
            refuseUnsendable(index, counted, midProblem(argument)))
            break;
        if (refuseWhenFull(index, counted)) break;
        std::string mid;
        if (!resolveMid(index, argument, mid)) {
            countRefused(read ? "read" : "kill");
            break;
        }
        auto request = newRequest(index, read ? "R" : "K");
        request->Mid = mid;
        queueRequest(index, std::move(request));
        break;
    }
    case Verb::SendPersonal: {
        if (argument.empty()) {
            radioSend(port, letter, "*** No Destination supplied with SP command!" + kPromptLine);
            break;
        }
        // Checked before the message is typed: its send request must then find room.
        if (refuseWhenFull(index, "send")) break;
        std::replace(argument.begin(), argument.end(), ',', ';');
        if (refuseUnsendable(index, "send", callSignProblem("Call", entry.CallSign)) ||
            refuseUnsendable(index, "send", addressesProblem(argument)))
            break;
        // Every message starts afresh: nothing of an earlier one in this session carries over.
        entry.Subject.clear();
        entry.Body.clear();
        entry.Destination = argument;
        CMidGenerator generator;
        generator.Tag("SMS_");
        entry.Mid = generator.LastMid();
        radioSend(port, letter,
                  "Enter the subject for new MID " + entry.Mid + " to " + entry.Destination + " :" +
                      CR);
        entry.Input = InputState::Subject;
        break;
    }
    case Verb::Ignore:
        break;
    case Verb::Unknown:
        radioSend(port, letter, "Command not supported...Type H for Help." + kPromptLine);
        break;
    }
}

// A stream's requests waiting are bounded: one line beyond the bound gets a short answer
// (once, until a request of the stream is taken again), further ones are dropped silently.
bool NodeCore::refuseWhenFull(int index, const char* command) {
    StreamRecord& entry = m_streams[index];
    if (m_queues.CommandQueue.waiting(index) + heldSends(index) <
        RequestQueue::kMaxWaitingPerStream) {
        entry.ToldToWait = false;
        return false;
    }
    countRefused(command);
    if (!entry.ToldToWait) {
        entry.ToldToWait = true;
        radioSend(entry.Port, entry.StreamID,
                  "*** Too many requests waiting! Wait for the answers." + kPromptLine);
    }
    return true;
}

bool NodeCore::refuseUnsendable(int index, const char* command, const std::string& problem) {
    if (problem.empty()) return false;
    countRefused(command);
    radioSend(m_streams[index].Port, m_streams[index].StreamID, "*** " + problem + kPrompt);
    return true;
}

bool NodeCore::resolveMid(int index, const std::string& argument, std::string& mid) {
    StreamRecord& entry = m_streams[index];
    if (!isNumeric(argument)) {
        mid = argument;
        return true;
    }
    const double n = numericValue(argument);
    const auto upperBound = static_cast<long long>(entry.ListedMids.size()) - 1;
    const long long position = roundHalfEven(n - 1);
    // A fraction such as 0.3 rounds below the first line; it is refused like 0.
    if (n > static_cast<double>(upperBound) || n <= 0 || position < 0 || position >= upperBound) {
        radioSend(entry.Port, entry.StreamID,
                  "*** Numeric Mid exceeds LM index! Enter correct MID or index." + kPromptLine);
        return false;
    }
    mid = entry.ListedMids[static_cast<std::size_t>(position)];
    return true;
}

void NodeCore::interpretSubject(int index, const std::string& sData) {
    StreamRecord& entry = m_streams[index];
    MonitorMsg(entry.Port, toLower(entry.StreamID), marked(sData, " (Subject)"));
    std::string subject = payload(sData);
    const std::size_t lineEnd = subject.find_first_of("\r\n");
    if (lineEnd != std::string::npos) subject = trim(subject.substr(0, lineEnd));
    entry.Subject = subject.empty() ? "(no subject)" : subject;
    radioSend(entry.Port, entry.StreamID,
              std::string("Enter Msg, end with /EX on a separate line:") + CR);
    entry.Input = InputState::Body;
}

void NodeCore::interpretBody(int index, const std::string& sData) {
    StreamRecord& entry = m_streams[index];
    const std::string part = payload(sData);
    const std::string upper = toUpper(part);
    if (upper != "/EX" && upper != "/EX\r") {
        MonitorMsg(entry.Port, toLower(entry.StreamID), marked(sData, " (Msg Body)"));
        if (entry.BodyTooLong) return;
        if (entry.Body.size() + part.size() > kMaxBody) {
            entry.BodyTooLong = true;
            entry.Body.clear();
            return;
        }
        entry.Body += part;
        return;
    }
    MonitorMsg(entry.Port, toLower(entry.StreamID), marked(sData, " (/EX Detected)"));
    if (entry.BodyTooLong) {
        const std::string limit = std::to_string(kMaxBody);
        PostLog(index, "MID : " + entry.Mid + " refused: message over " + limit + " bytes.");
        radioSend(entry.Port, entry.StreamID,
                  "*** Message longer than " + limit + " bytes! Mid: " + entry.Mid + " not sent." +
                      kPromptLine);
        entry.BodyTooLong = false;
        entry.Input = InputState::Command;
        countRefused("send");
        return;
    }
    if (entry.Body.empty()) entry.Body = "(no message body found)";
    auto request = newRequest(index, "S");
    request->Mid = entry.Mid;
    request->Body = entry.Body;
    request->AddressTo = entry.Destination;
    request->Subject = entry.Subject;
    request->AddressCc.clear();
    request->Originated = m_clock.now();
    queueRequest(index, std::move(request));
    entry.Body.clear();
    entry.Input = InputState::Command;
}

std::unique_ptr<CCommand> NodeCore::newRequest(int index, const char* command) {
    auto request = std::make_unique<CCommand>();
    // Keys of replies still on their way must stay unique: they decide who gets the reply.
    do {
        request->Session = newSessionKey(index);
    } while (m_pending.count(request->Session) != 0);
    request->Command = command;
    request->MBOCall = m_setup != nullptr ? m_setup->nodeCall() : std::string();
    request->MBOPassword = m_setup != nullptr ? m_setup->password() : std::string();
    request->UserCall = m_streams[index].CallSign;
    return request;
}

void NodeCore::queueRequest(int index, std::unique_ptr<CCommand> request) {
    StreamRecord& entry = m_streams[index];
    entry.Session = request->Session;
    PendingReply asker{entry.Connection, entry.Port, entry.StreamID, entry.CallSign, nullptr};
    if (request->Command == "S")
        asker.message = std::make_shared<const SpooledMessage>(
            SpooledMessage{request->Mid, request->UserCall, request->AddressTo, request->AddressCc,
                           request->Subject, request->Body, request->Originated});
    m_pending[request->Session] = std::move(asker);
    if (request->Command == "S")
        placeSend(std::move(request));
    else
        m_queues.CommandQueue.Add(std::move(request));
}

} // namespace gw
