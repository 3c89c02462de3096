// Store-and-forward: a send the server could not take is committed to the spool before its
// user hears of it and forwarded oldest first, one at a time, until the server has it or
// refuses it for good; the spool's file is looked after every tick, its faults logged and shown.
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

std::int64_t sizeOf(const SpooledMessage& m) {
    return static_cast<std::int64_t>(m.Mid.size() + m.UserCall.size() + m.AddressTo.size() +
                                     m.AddressCc.size() + m.Subject.size() + m.Body.size());
}
} // namespace

void NodeCore::openSpool() {
    const std::string section = settingsSection();
    m_spoolWanted = m_settings.readBool(section, "Spool", true);
    if (!m_spoolWanted) return;
    const Spool::Limits defaults;
    m_spoolLimits = {positiveSetting(m_settings, section, "SpoolMaxMessages", defaults.maxMessages),
                     positiveSetting(m_settings, section, "SpoolMaxBytes", defaults.maxBytes)};
    const std::string folder = defaultFileFolder();
    m_spoolPath = folder + "spool" + m_instance + ".db";
    // Tried again a minute from now, like the first forwarding after a start.
    m_spoolReopenAt = m_spoolNextTry = m_clock.elapsed() + kSpoolRetryFirst;
    std::string problem;
    if (!makePrivateFolder(folder))
        problem = "cannot create " + folder;
    else if (m_spool.open(m_spoolPath, m_spoolLimits, problem))
        problem.clear();
    if (problem.empty()) {
        m_spoolOpenProblem.clear();
        reportSpoolOpen();
        return;
    }
    if (problem != m_spoolOpenProblem)
        logSpool("cannot open the spool, store-and-forward is off until it can: " + problem,
                 JournalPriority::Error);
    m_spoolOpenProblem = problem;
}

void NodeCore::reportSpoolOpen() {
    m_spoolRelocations = m_spool.relocations();
    if (const std::optional<Spool::Repair>& repair = m_spool.repair()) {
        const std::int64_t lost = static_cast<std::int64_t>(repair->lost.size()) + repair->unnamed;
        std::string unread = std::to_string(lost) + " could not be read";
        if (repair->unknown) unread += " (and an unknown number more)";
        if (repair->setAsideUnread) unread += "; the messages set aside could not all be read";
        logSpool("the spool file was damaged (" + loggable(repair->damage, kMaxErrorText) +
                     "): kept as " + repair->keptAs + "; " + std::to_string(repair->carried) +
                     " message(s) carried into a new spool, " + unread + ".",
                 JournalPriority::Error);
        for (const std::string& mid : repair->lost)
            logSpool("MID : " + loggable(mid, kMaxErrorText) +
                         " could not be read from the damaged spool; it is lost.",
                     JournalPriority::Error);
        if (repair->unnamed > 0)
            logSpool(std::to_string(repair->unnamed) +
                         " more message(s) could not be read from the damaged spool.",
                     JournalPriority::Error);
        m_spoolRepair = repair;
        m_spoolRepairedAt = m_clock.now();
    }
    if (!m_spool.leftoverProblem().empty()) spoolFault(m_spool.leftoverProblem());
}

void NodeCore::logSpool(const std::string& text, JournalPriority priority) {
    const std::string line = "Spool; " + stampText(m_clock.now()) + "  " + text;
    if (m_setup == nullptr)
        m_log->logEarly(line, priority);
    else
        m_log->Log(line, priority);
}

void NodeCore::spoolFault(const std::string& text) {
    if (text != m_spoolFault) logSpool(text, JournalPriority::Error);
    m_spoolFault = text;
}

void NodeCore::spoolWorks() {
    if (m_spool.unsettled() == 0 && !m_spool.detached() && m_spool.leftoverProblem().empty())
        m_spoolFault.clear();
}

NodeCore::SpoolState NodeCore::spoolState() {
    SpoolState state;
    state.repair = m_spoolRepair;
    state.repairedAt = m_spoolRepairedAt;
    if (!m_spoolWanted) return state;
    if (!m_spool.isOpen()) {
        state.health = SpoolHealth::Unopenable;
        state.problem = m_spoolOpenProblem;
        return state;
    }
    state.figures = m_spool.figures();
    state.health = SpoolHealth::Ok;
    if (!state.figures) {
        state.health = SpoolHealth::Error;
        state.problem = "cannot read the spool: " + m_spool.problem();
    } else if (!m_spoolFault.empty()) {
        state.health = SpoolHealth::Error;
        state.problem = m_spoolFault;
    }
    return state;
}

void NodeCore::noteRelocation() {
    if (m_spool.relocations() == m_spoolRelocations) return;
    m_spoolRelocations = m_spool.relocations();
    const std::optional<Spool::Figures> figures = m_spool.figures();
    logSpool("the spool file " + m_spoolPath +
                 " was deleted or replaced while in use: made anew with the " +
                 (figures ? std::to_string(figures->waiting) : std::string("unknown number of")) +
                 " message(s) waiting in it.",
             JournalPriority::Error);
    reportSpoolOpen();
    spoolWorks();
}

void NodeCore::careForSpool() {
    if (m_spool.damageSeen()) {
        const std::string problem = m_spool.problem();
        logSpool("the spool file reads as damaged (" + loggable(problem, kMaxErrorText) +
                     "); checking it.",
                 JournalPriority::Error);
        m_spoolOpenProblem.clear();
        m_spoolReopenAt = m_clock.elapsed();
        openSpool();
        return;
    }
    if (m_spool.moved() || m_spool.detached()) {
        std::string problem;
        if (m_spool.relocate(problem)) {
            noteRelocation();
        } else {
            spoolFault("the spool file " + m_spoolPath +
                       " was deleted or replaced and cannot be made anew (" + problem +
                       "): its messages are forwarded while the node runs, new ones are not "
                       "queued.");
            if (!m_spool.isOpen()) m_spoolOpenProblem = problem;
        }
    }
    for (const std::string& mid : m_spool.settle())
        logSpool("MID : " + mid + " dropped from the spool at last.");
    spoolWorks();
}

NodeCore::SpoolOutcome NodeCore::spoolFailedSend() {
    const CResponse& reply = *m_reply;
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
        log(m_spoolWanted ? "not queued, the spool cannot be opened (" +
                                loggable(m_spoolOpenProblem, kMaxErrorText) + "): " + why
                          : "not queued, store-and-forward is off: " + why,
            JournalPriority::Error);
        return SpoolOutcome::NotQueued;
    }
    switch (m_spool.add(message)) {
    case Spool::AddResult::Stored:
        noteRelocation();
        spoolWorks();
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
    const std::string problem = loggable(m_spool.problem(), kMaxErrorText);
    log("not queued, the spool failed (" + problem + "): " + why, JournalPriority::Error);
    m_spoolFault = "the last message could not be queued: " + problem;
    return SpoolOutcome::NotQueued;
}

void NodeCore::forwardSpoolWhenDue() {
    if (!m_spoolWanted || m_ended) return;
    if (!m_spool.isOpen()) {
        if (m_clock.elapsed() < m_spoolReopenAt) return;
        openSpool();
        if (!m_spool.isOpen()) return;
        logSpool("the spool is open: store-and-forward is on.");
    }
    careForSpool();
    // The operator changed the file (a message sent again): it goes at once.
    if (m_spool.changedElsewhere()) {
        m_spoolRetry = kSpoolRetryFirst;
        m_spoolNextTry = m_clock.elapsed();
    }
    if (m_clock.elapsed() < m_spoolNextTry) return;
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
    for (;;) {
        std::optional<SpooledMessage> message;
        if (!m_spool.oldest(message)) {
            spoolFault("cannot read the spool: " + loggable(m_spool.problem(), kMaxErrorText));
            return false;
        }
        if (!message) return false;
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
        const char* unfit = sizeOf(*message) > m_spoolLimits.maxBytes
                                ? "larger than the spool's limit"
                            : request->CommandToServer().empty() ? "cannot be sent as a request"
                                                                 : nullptr;
        if (unfit != nullptr) {
            const std::string head = "MID : " + loggable(message->Mid, kMaxErrorText) + " ";
            if (!m_spool.setAside(message->Mid, unfit)) {
                spoolFault(head + unfit +
                           ", nor set aside: " + loggable(m_spool.problem(), kMaxErrorText));
                continue;
            }
            logSpool(head + unfit + ", set aside.", JournalPriority::Error);
            continue;
        }
        m_spoolSession = request->Session;
        m_spoolMid = message->Mid;
        m_queues.CommandQueue.Add(std::move(request));
        return true;
    }
}

void NodeCore::spoolReply() {
    const CResponse& reply = *m_reply;
    if (reply.Session != m_spoolSession) {
        Log("Reply " + m_reply->Session + " for no request of this node dropped @ " + now());
        return;
    }
    m_spoolSession.clear();
    const std::string head = "MID : " + m_spoolMid + " ";
    const std::string why = loggable(reply.Error, kMaxErrorText);
    const auto count = [this](const char* outcome) { ++m_counters.requests[{"forward", outcome}]; };
    if (toUpper(reply.Error) == "OK" || reply.alreadyStored()) {
        count("ok");
        const std::string forwarded =
            head + (reply.alreadyStored() ? "forwarded (the server held it already)" : "forwarded");
        if (!m_spool.remove(m_spoolMid))
            // Remembered as delivered: the rest go on, and the file drops it when it can.
            logSpool(forwarded + ", but the spool could not drop it (" +
                         loggable(m_spool.problem(), kMaxErrorText) + "); it is not offered again.",
                     JournalPriority::Error);
        else
            logSpool(forwarded + ".");
    } else if (!worthRetrying(reply)) {
        count("set-aside");
        logSpool(head + "refused by the server, set aside: " + why, JournalPriority::Error);
        if (!m_spool.setAside(m_spoolMid, reply.Error))
            logSpool(head + "could not be set aside in the file (" +
                         loggable(m_spool.problem(), kMaxErrorText) + "); it is not offered again.",
                     JournalPriority::Error);
    } else {
        count("failed");
        logSpool(head + "still queued: " + why, JournalPriority::Warning);
        return;
    }
    if (m_spool.unsettled() > 0)
        m_spoolFault = std::to_string(m_spool.unsettled()) +
                       " message(s) dealt with by the server could not be taken out of the "
                       "spool: " +
                       loggable(m_spool.problem(), kMaxErrorText);
    else
        spoolWorks();
    // The server is reachable: the next one goes at once.
    m_spoolRetry = kSpoolRetryFirst;
    forwardSpool();
}

} // namespace gw
