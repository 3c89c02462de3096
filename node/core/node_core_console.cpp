// The sysop console: list, read, mark delivered and send requests on any call sign's behalf,
// through the console's own stream entry 0, with the reply kept for the views.
#include "core/node_core.h"

#include "common/text.h"
#include "core/console_rules.h"
#include "server/ccommand.h"
#include "server/cmid_generator.h"
#include "server/session_key.h"

namespace gw {

bool NodeCore::consoleOwnsCall(const std::string& userCall) const {
    return m_setup != nullptr && sameCall(userCall, m_setup->nodeCall());
}

bool NodeCore::refuseConsoleCall(const std::string& userCall, bool ownOnly, std::string* refusal) {
    std::string problem = callSignProblem("User call", toUpper(trim(userCall)));
    if (problem.empty() && ownOnly && !consoleOwnsCall(userCall))
        problem = "K and SP are for the node's own call sign only.";
    if (problem.empty()) return false;
    refuseConsole(DialogIcon::Exclamation, problem, refusal);
    return true;
}

std::unique_ptr<CCommand> NodeCore::consoleRequest(const char* command,
                                                   const std::string& userCall) {
    auto request = std::make_unique<CCommand>();
    do {
        request->Session = newSessionKey(0);
    } while (m_pending.count(request->Session) != 0);
    NewStream("0", toUpper(trim(userCall)), 0);
    request->Command = command;
    request->MBOCall = m_setup != nullptr ? m_setup->nodeCall() : std::string();
    request->MBOPassword = m_setup != nullptr ? m_setup->password() : std::string();
    request->UserCall = toUpper(trim(userCall));
    return request;
}

void NodeCore::queueConsoleRequest(std::unique_ptr<CCommand> request) {
    const std::size_t stars = std::min<std::size_t>(request->MBOPassword.size(), 13);
    m_consoleCommand = request->Command + "|" + request->MBOCall + "|" + std::string(stars, '*') +
                       "|" + request->UserCall + "|" + request->Mid + "|";
    queueRequest(0, std::move(request));
    showInConsole("Waiting for response from SMS Server...");
}

bool NodeCore::refuseConsole(DialogIcon icon, const std::string& text, std::string* refusal) {
    if (refusal != nullptr)
        *refusal = text;
    else
        m_dialogs.message(icon, kProgramTitle, text);
    return false;
}

bool NodeCore::resolveConsoleMid(std::string& mid, std::string* refusal) {
    if (!isNumeric(mid)) return true;
    const double k = numericValue(mid);
    const auto n = static_cast<long long>(m_streams[0].ListedMids.size()) - 1;
    const long long position = roundHalfEven(k - 1);
    if (k > 0 && k <= static_cast<double>(n) && position >= 0 && position < n) {
        mid = m_streams[0].ListedMids[static_cast<std::size_t>(position)];
        return true;
    }
    return refuseConsole(DialogIcon::Exclamation,
                         "Numeric Mid exceeds LM index! Enter correct MID or index.", refusal);
}

bool NodeCore::consoleList(const std::string& userCall, std::string* refusal) {
    if (userCall.empty())
        return refuseConsole(DialogIcon::None, "User's call required...", refusal);
    if (refuseConsoleCall(userCall, false, refusal)) return false;
    queueConsoleRequest(consoleRequest("L", userCall));
    return true;
}

bool NodeCore::consoleRead(const std::string& userCall, std::string& mid, std::string* refusal) {
    return queueConsoleMidRequest("R", userCall, mid, refusal);
}

bool NodeCore::consoleKill(const std::string& userCall, std::string& mid, std::string* refusal) {
    return queueConsoleMidRequest("K", userCall, mid, refusal);
}

bool NodeCore::queueConsoleMidRequest(const char* command, const std::string& userCall,
                                      std::string& mid, std::string* refusal) {
    if (mid.empty() || userCall.empty())
        return refuseConsole(DialogIcon::None, "User's call and MID required...", refusal);
    if (refuseConsoleCall(userCall, std::string(command) == "K", refusal)) return false;
    const bool typed = !isNumeric(mid);
    if (const std::string problem = midProblem(toUpper(trim(mid))); typed && !problem.empty())
        return refuseConsole(DialogIcon::Exclamation, problem, refusal);
    std::unique_ptr<CCommand> request = consoleRequest(command, userCall);
    if (!resolveConsoleMid(mid, refusal)) {
        countRefused(std::string(command) == "R" ? "read" : "kill");
        return false;
    }
    request->Mid = toUpper(trim(mid));
    queueConsoleRequest(std::move(request));
    return true;
}

bool NodeCore::consoleSend(const std::string& userCall, const std::string& to,
                           const std::string& subject, const std::string& message, std::string& mid,
                           std::string* refusal) {
    if (userCall.empty() || to.empty() || message.empty())
        return refuseConsole(DialogIcon::None,
                             "User's call, 'To:' address, and message text required...", refusal);
    if (refuseConsoleCall(userCall, true, refusal)) return false;
    for (const std::string& problem :
         {addressesProblem(to), subjectProblem(subject), messageProblem(message)})
        if (!problem.empty()) return refuseConsole(DialogIcon::Exclamation, problem, refusal);
    std::unique_ptr<CCommand> request = consoleRequest("S", userCall);
    CMidGenerator generator;
    generator.Tag("SMS_");
    mid = generator.LastMid();
    StreamRecord& entry = m_streams[0];
    request->Mid = entry.Mid = mid;
    request->Originated = m_clock.now();
    request->AddressTo = entry.Destination = to;
    request->AddressCc.clear();
    request->Subject = entry.Subject = subject;
    // The message keeps CR LF line ends, whatever ends its lines came with.
    std::string body;
    for (char c : message) {
        if (c == '\n') body += '\r';
        if (c != '\r') body += c;
    }
    request->Body = entry.Body = body;
    queueConsoleRequest(std::move(request));
    return true;
}

} // namespace gw
