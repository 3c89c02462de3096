// Server replies to radio users and to the sysop console: one reply per tick of the
// one-second timer, formatted by kind, sent only to the connection that asked, and logged.
#include "core/node_core.h"

#include "common/datetime.h"
#include "common/text.h"
#include "server/server_link_texts.h"
#include "server/session_key.h"

namespace gw {
namespace {
constexpr char CR = '\r';
constexpr char LF = '\n';

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == CR) out += LF;
    }
    return out;
}
// The name a request is counted under; "" for a command the node does not send.
std::string countedName(const std::string& command) {
    if (command == "L") return "list";
    if (command == "R") return "read";
    if (command == "K") return "kill";
    if (command == "S") return "send";
    return std::string();
}

// The reply is the server link's own failure text: the connection could not be made, was
// reset or timed out. A server's answer (a refusal, a read's error text), a request that
// could not be rendered, a reply too large and the node closing its own link are not.
bool connectionFailed(const CResponse& reply) {
    return toUpper(reply.Error) != "OK" && !reply.Refused && reply.Error != kCommandErrorText &&
           reply.Error != kReplyTooLargeText && reply.Error != kLinkClosedText &&
           reply.Error != reply.replyText();
}
} // namespace

void NodeCore::countRefused(const std::string& command) {
    ++m_counters.requests[{command, "refused"}];
}

void NodeCore::countReply(const CResponse& reply) {
    const std::string command = countedName(reply.Command);
    if (command.empty() || m_pending.count(reply.Session) == 0) return;
    const std::string outcome = toUpper(reply.Error) == "OK"             ? "ok"
                                : m_spoolOutcome == SpoolOutcome::Queued ? "queued"
                                                                         : "failed";
    ++m_counters.requests[{command, outcome}];
    m_lastRequest = {m_clock.now(), command, outcome};
}

void NodeCore::noteServerReach(const CResponse& reply) {
    ServerReach& reach = m_serverReach;
    if (connectionFailed(reply)) {
        ++m_counters.serverFailures;
        reach.lastFailure = m_clock.now();
        reach.failure = loggable(reply.Error, kMaxErrorText);
        if (!reach.unreachableSince.isValid()) reach.unreachableSince = reach.lastFailure;
    } else if (reply.Error != kCommandErrorText && reply.Error != kLinkClosedText) {
        // The server answered, whatever it said.
        reach.lastSuccess = m_clock.now();
        reach.unreachableSince = QDateTime();
    }
}

void NodeCore::poll() {
    deliverReply();
    finishByes();
    forwardSpoolWhenDue();
}

void NodeCore::deliverReply() {
    if (m_queues.ReplyQueue.Count() == 0) return;
    m_reply = m_queues.ReplyQueue.RemoveFirst();
    noteServerReach(*m_reply);
    const int index = sessionStream(m_reply->Session);
    if (index == RequestQueue::kSpoolLane) {
        spoolReply();
        return;
    }
    const std::string& command = m_reply->Command;
    const bool ok = toUpper(m_reply->Error) == "OK";
    // The sender of a send: his next send may be waiting for this one's outcome.
    std::string sender;
    if (const auto found = m_pending.find(m_reply->Session);
        command == "S" && found != m_pending.end() && found->second.message)
        sender = found->second.message->UserCall;
    // A failed send's message is in the spool, or known not to be, before anyone is told.
    m_spoolOutcome = command == "S" && !ok ? spoolFailedSend() : SpoolOutcome::None;
    countReply(*m_reply);
    if (replyStillWanted(index)) {
        if (command == "L")
            ReplyList(index);
        else if (command == "R")
            ReplyRead(index);
        else if (command == "K")
            ReplyKill(index);
        else if (command == "S")
            ReplySend(index);
        else
            ReplyUnknown(index);
    }
    if (!sender.empty()) releaseHeldSends(sender);
    // The server answered: whatever waits in the spool may go now.
    if (ok) {
        m_spoolRetry = kSpoolRetryFirst;
        forwardSpool();
    }
}

// A reply goes only to the connection that asked for it. When that user has gone, or
// someone else holds the stream now, it is dropped and the operator is told.
bool NodeCore::replyStillWanted(int index) {
    const auto found = m_pending.find(m_reply->Session);
    if (!StreamTable::valid(index) || found == m_pending.end()) {
        Log("Reply " + m_reply->Session + " for no request of this node dropped @ " +
            generalDateTime(m_clock.now()));
        return false;
    }
    const PendingReply asker = found->second;
    m_pending.erase(found);
    const StreamRecord& entry = m_streams[index];
    if (entry.inUse() && entry.Connection == asker.connection) return true;
    const std::string text =
        "Reply for " + asker.call + " dropped: " +
        (entry.inUse() ? "stream taken by " + entry.CallSign : std::string("no longer connected")) +
        " @ " + generalDateTime(m_clock.now());
    MonitorMsg(asker.port, asker.stream, "   " + text);
    Log(std::to_string(asker.port) + "/" + asker.stream + ": " + text);
    logOutcomeFor(asker);
    return false;
}

// A send or kill was carried out for a user who has gone since: what became of it is logged
// all the same, since the message or the mark is the user's, answered or not.
void NodeCore::logOutcomeFor(const PendingReply& asker) {
    const CResponse& reply = *m_reply;
    if (reply.Command != "S" && reply.Command != "K") return;
    // A queued message's outcome is in the log already.
    if (m_spoolOutcome == SpoolOutcome::Queued) return;
    const bool ok = toUpper(reply.Error) == "OK";
    const bool send = reply.Command == "S";
    const std::string outcome =
        ok ? (send ? " Sent." : " Killed.")
           : (send ? " Send failed: " : " Kill failed: ") + loggable(reply.Error, kMaxErrorText);
    postLogFor(asker.port, asker.stream, asker.call, "MID : " + reply.Mid + outcome,
               ok ? JournalPriority::Info : JournalPriority::Error);
}

std::string NodeCore::shownError(const std::string& error) const {
    if (error.size() <= kMaxErrorText) return error;
    return error.substr(0, kMaxErrorText) + " ...(cut at " + std::to_string(kMaxErrorText) +
           " bytes)";
}

void NodeCore::finishByes() {
    for (int index = 1; index < StreamTable::kEntries; ++index) {
        StreamRecord& entry = m_streams[index];
        if (!entry.inUse() || !entry.ByePending) continue;
        if (requestsWaiting(index) > 0 && m_clock.elapsed() < entry.ByeDeadline) continue;
        entry.ByePending = false;
        if (m_radio != nullptr) m_radio->SendDisconnect(entry.Port, entry.StreamID);
    }
}

void NodeCore::sendToUser(int index, const std::string& text) {
    const StreamRecord& entry = m_streams[index];
    radioSend(entry.Port, entry.StreamID, text);
}

void NodeCore::showInConsole(const std::string& text) {
    m_received = text;
    emit consoleChanged();
}

// The console's entry closes after each reply but a successful list; while more console
// requests are on their way it stays open, so that their replies still find their asker.
void NodeCore::closeConsoleEntry() {
    for (const auto& [session, asker] : m_pending)
        if (sessionStream(session) == 0) return;
    KillStream(0);
}

void NodeCore::finishReply(int index, const std::string& text) {
    if (index == 0) {
        showInConsole(text + LF);
        closeConsoleEntry();
    } else {
        sendToUser(index, text + kPrompt);
    }
}

void NodeCore::ReplyList(int index) {
    CResponse& reply = *m_reply;
    if (index == 0) showInConsole("");
    if (toUpper(reply.Error) != "OK") {
        PostLog(index, "List failed: " + loggable(reply.Error, kMaxErrorText),
                JournalPriority::Error);
        const std::string text = "ERROR: " + shownError(reply.Error) + CR;
        if (index == 0) {
            showInConsole(text + LF);
            closeConsoleEntry();
        } else {
            sendToUser(index, text + CR + kPrompt);
        }
        return;
    }
    StreamRecord& entry = m_streams[index];
    const std::int32_t n = reply.MidList ? reply.MidList->Count() : 0;
    if (n == 0) {
        entry.ListedMids = {std::string()};
        const std::string text = std::string("<None found>") + CR;
        if (index == 0)
            showInConsole(m_received + text + LF);
        else
            sendToUser(index, text + CR + kPrompt);
        return;
    }
    entry.ListedMids.assign(static_cast<std::size_t>(n) + 1, std::string());
    PostLog(index, "List: " + std::to_string(n) + " messages.");
    std::string lines;
    for (std::int32_t i = 0; i < n; ++i) {
        const auto item = reply.MidList->RemoveFirst();
        entry.ListedMids[static_cast<std::size_t>(i)] = item->Mid;
        // A MID that fills its field keeps one blank after it, so the user can read it back.
        const std::string mid = item->Mid.size() >= 14 ? item->Mid + ' ' : leftField(item->Mid, 14);
        const std::string line = "(" + std::to_string(i + 1) + ") " + mid +
                                 stampText(item->Originated) + "  " + formatDigits(item->Size) +
                                 "  " + item->From + "  " + item->Subject + CR;
        lines += index == 0 ? line + LF : line;
    }
    if (index == 0)
        showInConsole(m_received + lines);
    else
        sendToUser(index, lines + CR + kPrompt);
}

void NodeCore::ReplyRead(int index) {
    const CResponse& reply = *m_reply;
    if (index == 0) showInConsole("");
    std::string text;
    if (toUpper(reply.Error) != "OK") {
        text = "Read Error: " + shownError(reply.Error);
        PostLog(index,
                "MID : " + reply.Mid + " Read failed: " + loggable(reply.Error, kMaxErrorText),
                JournalPriority::Error);
    } else {
        text = "Mid: " + reply.Mid + CR + "Date: " + stampText(reply.Originated) + CR +
               "From: " + reply.From + CR + "To: " + reply.AddressTo + CR;
        if (!reply.AddressCc.empty()) text += "Cc: " + reply.AddressCc + CR;
        text += "Subject: " + reply.Subject + CR + reply.Body;
        std::erase(text, LF);
        PostLog(index, "MID : " + reply.Mid + " Read.");
    }
    if (index == 0) {
        showInConsole(crlf(text));
        closeConsoleEntry();
    } else {
        sendToUser(index, text + CR + kPrompt);
    }
}

void NodeCore::ReplyKill(int index) {
    const CResponse& reply = *m_reply;
    if (index == 0) showInConsole("");
    const std::string& call = m_streams[index].CallSign;
    std::string text;
    if (toUpper(reply.Error) == "OK") {
        text = "Destination " + call + " of Mid: " + reply.Mid + " marked delivered!" + CR;
        PostLog(index, "MID : " + reply.Mid + " Killed.");
    } else {
        text = "Failure to mark destination " + call + " of Mid: " + reply.Mid + " delivered!" + CR;
        PostLog(index,
                "MID : " + reply.Mid + " Kill failed: " + loggable(reply.Error, kMaxErrorText),
                JournalPriority::Error);
    }
    finishReply(index, text);
}

void NodeCore::ReplySend(int index) {
    const CResponse& reply = *m_reply;
    if (index == 0) showInConsole("");
    // The reply carries the MID of the message it answers; the stream's own may already
    // belong to the next message the user started.
    const std::string mid = reply.Mid.empty() ? m_streams[index].Mid : reply.Mid;
    std::string text;
    if (toUpper(reply.Error) == "OK") {
        text = "Mid: " + mid + " accepted!" + CR;
        PostLog(index, "MID : " + mid + " Sent.");
    } else if (m_spoolOutcome == SpoolOutcome::Queued) {
        text = "Mid: " + mid + " queued; it will be sent when the server can be reached." + CR;
    } else {
        text = "Mid: " + mid + " failed!" + CR;
        PostLog(index, "MID : " + mid + " Send failed: " + loggable(reply.Error, kMaxErrorText),
                JournalPriority::Error);
    }
    finishReply(index, text);
}

void NodeCore::ReplyUnknown(int index) {
    if (index == 0) showInConsole("");
    const std::string text = std::string("Command not recognized...") + CR;
    finishReply(index, text);
}

} // namespace gw
