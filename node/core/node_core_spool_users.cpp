// The spool as its users and the operator meet it: one user's messages reach the server in
// the order he sent them, he hears of those the server refused for good, and the operator
// sends such a message again or drops it.
#include "core/node_core.h"

#include "common/datetime.h"
#include "common/text.h"
#include "server/session_key.h"

#include <algorithm>

namespace gw {
namespace {
constexpr char CR = '\r';
constexpr char LF = '\n';
// A refusal's reason as a radio user reads it is cut to this length.
constexpr std::size_t kMaxNoticeReason = 200;
} // namespace

bool NodeCore::sendOnItsWay(const std::string& call) const {
    return std::any_of(m_pending.begin(), m_pending.end(), [&](const auto& pending) {
        const auto& [session, asker] = pending;
        return asker.message && asker.message->UserCall == call &&
               std::none_of(m_heldSends.begin(), m_heldSends.end(),
                            [&](const auto& held) { return held->Session == session; });
    });
}

int NodeCore::heldSends(int index) const {
    return static_cast<int>(
        std::count_if(m_heldSends.begin(), m_heldSends.end(),
                      [index](const auto& held) { return sessionStream(held->Session) == index; }));
}

void NodeCore::placeSend(std::unique_ptr<CCommand> request) {
    const std::string call = request->UserCall;
    const bool behind = std::any_of(m_heldSends.begin(), m_heldSends.end(),
                                    [&](const auto& held) { return held->UserCall == call; });
    // Its own reply is pending already: it must not count as the earlier one.
    m_heldSends.push_back(std::move(request));
    if (behind || sendOnItsWay(call)) return;
    request = std::move(m_heldSends.back());
    m_heldSends.pop_back();
    dispatchSend(std::move(request));
}

void NodeCore::dispatchSend(std::unique_ptr<CCommand> request) {
    if (m_spool.isOpen() && m_spool.hasWaitingFrom(request->UserCall))
        queueBehind(std::move(request));
    else
        m_queues.CommandQueue.Add(std::move(request));
}

void NodeCore::releaseHeldSends(const std::string& call) {
    while (!sendOnItsWay(call)) {
        const auto next = std::find_if(m_heldSends.begin(), m_heldSends.end(),
                                       [&](const auto& held) { return held->UserCall == call; });
        if (next == m_heldSends.end()) return;
        std::unique_ptr<CCommand> request = std::move(*next);
        m_heldSends.erase(next);
        dispatchSend(std::move(request));
    }
}

// The user's earlier messages wait in the spool: this one goes in behind them at once, and
// the spool's turn comes now.
void NodeCore::queueBehind(std::unique_ptr<CCommand> request) {
    const auto found = m_pending.find(request->Session);
    if (found == m_pending.end() || !found->second.message) return;
    const PendingReply asker = found->second;
    m_pending.erase(found);
    const std::string& mid = request->Mid;
    std::string text = "Mid: " + mid + " failed!";
    std::string outcome = "failed";
    const auto log = [&](const std::string& line, JournalPriority priority) {
        postLogFor(asker.port, asker.stream, asker.call, "MID : " + mid + " " + line, priority);
    };
    switch (m_spool.add(*asker.message)) {
    case Spool::AddResult::Stored:
        noteRelocation();
        spoolWorks();
        text = "Mid: " + mid + " queued; it will be sent after your earlier messages.";
        outcome = "queued";
        log("queued behind the earlier messages of " + asker.call + ".", JournalPriority::Info);
        break;
    case Spool::AddResult::Full:
        log("not queued, the spool is full; the earlier messages of " + asker.call + " wait in it.",
            JournalPriority::Error);
        break;
    case Spool::AddResult::Failed: {
        const std::string problem = loggable(m_spool.problem(), kMaxErrorText);
        log("not queued, the spool failed (" + problem + ").", JournalPriority::Error);
        m_spoolFault = "the last message could not be queued: " + problem;
        break;
    }
    }
    ++m_counters.requests[{"send", outcome}];
    m_lastRequest = {m_clock.now(), "send", outcome};
    const int index = sessionStream(request->Session);
    if (index == 0) {
        showInConsole(text + CR + LF);
        closeConsoleEntry();
    } else if (StreamTable::valid(index) && m_streams[index].inUse() &&
               m_streams[index].Connection == asker.connection) {
        sendToUser(index, text + CR + "SMS>");
    }
    if (outcome != "queued") return;
    m_spoolRetry = kSpoolRetryFirst;
    forwardSpool();
}

void NodeCore::tellSetAside(int index, bool prompt) {
    if (!m_spool.isOpen() || !StreamTable::valid(index) || !m_streams[index].inUse()) return;
    const StreamRecord& entry = m_streams[index];
    const std::optional<std::vector<SpoolNotice>> notices = m_spool.noticesFor(entry.CallSign);
    // A notice is given once: when the file cannot forget it, it waits for the next time.
    if (!notices || notices->empty() || !m_spool.forgetNotices(entry.CallSign)) return;
    std::string text;
    for (const SpoolNotice& notice : *notices) {
        const std::string mid = loggable(notice.mid, kMaxErrorText);
        text +=
            "Mid: " + mid + " could not be sent: " + loggable(notice.reason, kMaxNoticeReason) + CR;
        PostLog(index, "MID : " + mid + " set aside, its sender told.");
    }
    sendToUser(index, prompt ? text + "SMS>" : text);
}

bool NodeCore::spoolRetry(const std::string& mid, std::string& refusal) {
    if (!m_spool.isOpen()) {
        refusal = "The spool is not open.";
        return false;
    }
    switch (m_spool.retry(mid)) {
    case Spool::Change::NotFound:
        refusal = "No message " + mid + " is set aside.";
        return false;
    case Spool::Change::Failed:
        refusal = "The spool could not take it back: " + m_spool.problem();
        return false;
    case Spool::Change::Done:
        break;
    }
    logSpool("MID : " + mid + " back in the queue by the operator.", JournalPriority::Warning);
    m_spoolRetry = kSpoolRetryFirst;
    m_spoolNextTry = m_clock.elapsed();
    forwardSpool();
    return true;
}

bool NodeCore::spoolDrop(const std::string& mid, std::string& refusal) {
    if (!m_spool.isOpen()) {
        refusal = "The spool is not open.";
        return false;
    }
    switch (m_spool.drop(mid)) {
    case Spool::Change::NotFound:
        refusal = "No message " + mid + " is set aside.";
        return false;
    case Spool::Change::Failed:
        refusal = "The spool could not drop it: " + m_spool.problem();
        return false;
    case Spool::Change::Done:
        break;
    }
    logSpool("MID : " + mid + " set aside and dropped by the operator.", JournalPriority::Warning);
    return true;
}

} // namespace gw
