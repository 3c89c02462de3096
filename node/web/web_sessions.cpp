// The web console's logins, per-address throttle, login log and sessions.
#include "web/web_sessions.h"

#include "setup/web_password.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <algorithm>
#include <array>

namespace gw {
namespace {
// 32 bytes from the system's random source, as base64url without padding.
std::string randomText() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->generate(words.begin(), words.end());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
        .toStdString();
}

std::chrono::seconds roundedUp(std::chrono::milliseconds wait) {
    return std::chrono::ceil<std::chrono::seconds>(wait);
}
} // namespace

WebSessions::WebSessions(Services services) : m_services(std::move(services)) {}

WebSessions::Login WebSessions::login(const std::string& address, const std::string& password) {
    const std::string stored = m_services.storedHash();
    if (stored.empty()) return {Login::Result::NoPassword, {}, {}, {}};
    if (!webPasswordHashReadable(stored)) return {Login::Result::Damaged, {}, {}, {}};
    const std::chrono::milliseconds now = m_services.clock.elapsed();
    auto episode = m_episodes.find(address);
    if (episode != m_episodes.end()) {
        episode->second.lastTry = now;
        if (now < episode->second.blockedUntil) {
            ++m_throttled;
            ++episode->second.throttled;
            return {
                Login::Result::Throttled, {}, {}, roundedUp(episode->second.blockedUntil - now)};
        }
    }
    if (!verifyWebPassword(password, stored)) {
        ++m_failed;
        if (episode == m_episodes.end()) {
            endQuietEpisodes();
            if (m_episodes.size() >= kMaxAddresses)
                endEpisode(std::min_element(m_episodes.begin(), m_episodes.end(),
                                            [](const auto& a, const auto& b) {
                                                return a.second.lastTry < b.second.lastTry;
                                            }),
                           "to make room");
            episode = m_episodes.emplace(address, Episode{0, {}, now, 0, 0}).first;
            m_services.log("web " + address +
                           ": login refused, wrong password (further refusals from this address "
                           "are counted)");
        } else {
            ++episode->second.failed;
        }
        Episode& failing = episode->second;
        // 1 s, 2 s, 4 s ... 60 s: the shift stops once past the longest delay.
        const std::chrono::seconds delay =
            std::min(kLongestDelay, kFirstDelay * (1 << std::min(failing.failures, 6)));
        ++failing.failures;
        failing.blockedUntil = now + delay;
        return {Login::Result::Wrong, {}, {}, delay};
    }
    if (episode != m_episodes.end()) endEpisode(episode, "before this login");
    dropExpired();
    if (m_sessions.size() >= kMaxSessions) m_sessions.erase(m_sessions.begin());
    m_sessions.push_back({randomText(), randomText(), now});
    return {Login::Result::Ok, m_sessions.back().cookie, m_sessions.back().token, {}};
}

void WebSessions::endEpisode(std::map<std::string, Episode>::iterator episode, const char* why) {
    const Episode& ended = episode->second;
    if (ended.failed + ended.throttled > 0)
        m_services.log("web " + episode->first + ": " + std::to_string(ended.failed) +
                       " more wrong password(s) and " + std::to_string(ended.throttled) +
                       " login(s) refused while waiting, " + why);
    m_episodes.erase(episode);
}

void WebSessions::endQuietEpisodes() {
    const std::chrono::milliseconds now = m_services.clock.elapsed();
    for (auto episode = m_episodes.begin(); episode != m_episodes.end();) {
        const auto next = std::next(episode);
        if (now - episode->second.lastTry >= kQuietEnd) endEpisode(episode, "then quiet");
        episode = next;
    }
}

const std::string* WebSessions::tokenFor(const std::string& cookie) {
    dropExpired();
    for (Session& session : m_sessions)
        if (constantTimeEqual(session.cookie, cookie)) {
            session.lastUse = m_services.clock.elapsed();
            return &session.token;
        }
    return nullptr;
}

bool WebSessions::logout(const std::string& cookie) {
    return std::erase_if(m_sessions, [&cookie](const Session& session) {
               return constantTimeEqual(session.cookie, cookie);
           }) > 0;
}

void WebSessions::dropExpired() {
    const std::chrono::milliseconds now = m_services.clock.elapsed();
    std::erase_if(m_sessions,
                  [now](const Session& session) { return now - session.lastUse >= kIdleLife; });
}

} // namespace gw
