// Store-and-forward: a send the server could not take is committed to the spool before its
// user hears of it, and the spool's messages go out oldest first, one at a time, in the
// request queue's own lane, until the server has each or refuses it for good.
#include "core/node_core.h"

#include "common/datetime.h"
#include "common/paths.h"
#include "common/text.h"
#include "server/server_link_texts.h"
#include "server/session_key.h"

#include <QString>
#include <algorithm>

namespace gw {
namespace {
// A positive whole number from the settings, else `fallback`.
std::int64_t positiveSetting(const SettingsStore& settings, const std::string& section,
                             const char* key, std::int64_t fallback) {
    bool ok = false;
    const qlonglong value =
        QString::fromStdString(settings.read(section, key, "")).trimmed().toLongLong(&ok);
    return ok && value > 0 ? value : fallback;
}

// Failures after which the server may simply not have been reached (or its answer lost):
// the request can go again. A server's answer, a request that cannot be rendered and a
// reply too large to read are not among them.
bool worthRetrying(const CResponse& reply) {
    return !reply.Refused && reply.Error != kCommandErrorText && reply.Error != kReplyTooLargeText;
}
} // namespace

void NodeCore::openSpool() {
    const std::string section = settingsSection();
    if (!m_settings.readBool(section, "Spool", true)) return;
    const Spool::Limits defaults;
    const Spool::Limits limits{
        positiveSetting(m_settings, section, "SpoolMaxMessages", defaults.maxMessages),
        positiveSetting(m_settings, section, "SpoolMaxBytes", defaults.maxBytes)};
    const std::string folder = defaultFileFolder();
    std::string problem;
    if (!makePrivateFolder(folder) ||
        !m_spool.open(folder + "spool" + sInstance + ".db", limits, problem)) {
        logSpool("cannot open the spool, store-and-forward is off: " +
                     (problem.empty() ? "cannot create " + folder : problem),
                 JournalPriority::Error);
        return;
    }
    // A restart resumes forwarding at the first tick.
    m_spoolNextTry = m_clock.elapsed();
}

void NodeCore::logSpool(const std::string& text, JournalPriority priority) {
    m_log->Log("Spool; " + stampText(m_clock.now()) + "  " + text, priority);
}

NodeCore::SpoolOutcome NodeCore::spoolFailedSend() {
    const CResponse& reply = *CurrentReply;
    const auto found = m_pending.find(reply.Session);
    if (found == m_pending.end() || !found->second.message || !worthRetrying(reply))
        return SpoolOutcome::None;
    const PendingReply& asker = found->second;
    const SpooledMessage& message = *asker.message;
    const std::string head = "MID : " + message.Mid + " ";
    const std::string why = loggable(reply.Error, kMaxErrorText);
    const auto log = [&](const std::string& text, JournalPriority priority) {
        postLogFor(asker.port, asker.stream, asker.call, head + text, priority);
    };
    if (!m_spool.isOpen()) {
        log("not queued, store-and-forward is off: " + why, JournalPriority::Error);
        return SpoolOutcome::NotQueued;
    }
    switch (m_spool.add(message)) {
    case Spool::AddResult::Stored:
        log("queued: " + why, JournalPriority::Warning);
        // The first try of a spool that was idle waits a retry interval; a spool already
        // waiting keeps its time.
        if (m_spoolNextTry <= m_clock.elapsed()) m_spoolNextTry = m_clock.elapsed() + m_spoolRetry;
        return SpoolOutcome::Queued;
    case Spool::AddResult::Full:
        log("not queued, the spool is full: " + why, JournalPriority::Error);
        return SpoolOutcome::NotQueued;
    case Spool::AddResult::Failed:
        break;
    }
    log("not queued, the spool failed (" + loggable(m_spool.problem(), kMaxErrorText) + "): " + why,
        JournalPriority::Error);
    return SpoolOutcome::NotQueued;
}

void NodeCore::tmrSpool_Timer() {
    if (!m_spool.isOpen() || m_clock.elapsed() < m_spoolNextTry) return;
    if (!forwardSpool()) {
        m_spoolNextTry = m_clock.elapsed() + kSpoolRetryFirst;
        return;
    }
    m_spoolRetry = std::min(m_spoolRetry * 2, kSpoolRetryLast);
    m_spoolNextTry = m_clock.elapsed() + m_spoolRetry;
}

bool NodeCore::forwardSpool() {
    if (m_ended || !m_spool.isOpen() || !m_spoolSession.empty()) return false;
    const std::string nodeCall = m_setup != nullptr ? m_setup->nodeCall() : std::string();
    const std::string password = m_setup != nullptr ? m_setup->password() : std::string();
    // Without the node's own account nothing can go; the messages wait, none is blamed.
    CCommand probe;
    probe.Command = "L";
    probe.MBOCall = nodeCall;
    probe.MBOPassword = password;
    probe.UserCall = nodeCall;
    if (probe.CommandToServer().empty()) return false;
    // The file is read as it is: a message no request can carry is set aside, not retried.
    while (const std::optional<SpooledMessage> message = m_spool.oldest()) {
        auto request = std::make_unique<CCommand>();
        request->Session = newSessionKey(RequestQueue::kSpoolLane);
        request->Command = "S";
        request->MBOCall = nodeCall;
        request->MBOPassword = password;
        request->UserCall = message->UserCall;
        request->Mid = message->Mid;
        request->AddressTo = message->AddressTo;
        request->AddressCc = message->AddressCc;
        request->Subject = message->Subject;
        request->Body = message->Body;
        request->Originated = message->Originated;
        if (request->CommandToServer().empty()) {
            const std::string head = "MID : " + loggable(message->Mid, kMaxErrorText) + " ";
            if (!m_spool.setAside(message->Mid, "cannot be sent as a request")) {
                logSpool(head + "cannot be sent as a request, nor set aside: " +
                             loggable(m_spool.problem(), kMaxErrorText),
                         JournalPriority::Error);
                return false;
            }
            logSpool(head + "cannot be sent as a request, set aside.", JournalPriority::Error);
            continue;
        }
        m_spoolSession = request->Session;
        m_spoolMid = message->Mid;
        m_queues.CommandQueue.Add(std::move(request));
        return true;
    }
    return false;
}

void NodeCore::spoolReply() {
    const CResponse& reply = *CurrentReply;
    if (reply.Session != m_spoolSession) {
        Log("Reply " + CurrentReply->Session + " for no request of this node dropped @ " + now());
        return;
    }
    m_spoolSession.clear();
    const std::string head = "MID : " + m_spoolMid + " ";
    const std::string why = loggable(reply.Error, kMaxErrorText);
    if (toUpper(reply.Error) == "OK" || reply.alreadyStored()) {
        if (!m_spool.remove(m_spoolMid)) {
            logSpool(head + "forwarded, but the spool could not drop it: " +
                         loggable(m_spool.problem(), kMaxErrorText),
                     JournalPriority::Error);
            return;
        }
        logSpool(head + (reply.alreadyStored() ? "forwarded (the server held it already)."
                                               : "forwarded."));
    } else if (!worthRetrying(reply)) {
        if (!m_spool.setAside(m_spoolMid, reply.Error)) {
            logSpool(head + "refused, but the spool could not set it aside: " +
                         loggable(m_spool.problem(), kMaxErrorText),
                     JournalPriority::Error);
            return;
        }
        logSpool(head + "refused by the server, set aside: " + why, JournalPriority::Error);
    } else {
        logSpool(head + "still queued: " + why, JournalPriority::Warning);
        return;
    }
    // The server is reachable: the next one goes at once.
    m_spoolRetry = kSpoolRetryFirst;
    forwardSpool();
}

} // namespace gw
