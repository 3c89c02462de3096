// The web console's logins, throttle and sessions.
#include "web/web_sessions.h"

#include "web/web_password.h"

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

WebSessions::WebSessions(const Clock& clock, std::function<std::string()> storedHash)
    : m_clock(clock), m_storedHash(std::move(storedHash)) {}

WebSessions::Login WebSessions::login(const std::string& password) {
    const std::string stored = m_storedHash();
    if (stored.empty()) return {Login::Result::NoPassword, {}, {}, {}};
    const std::chrono::milliseconds now = m_clock.elapsed();
    if (now < m_blockedUntil)
        return {Login::Result::Throttled, {}, {}, roundedUp(m_blockedUntil - now)};
    if (!verifyWebPassword(password, stored)) {
        // 1 s, 2 s, 4 s ... 60 s: the shift stops once past the longest delay.
        const std::chrono::seconds delay =
            std::min(kLongestDelay, kFirstDelay * (1 << std::min(m_failures, 6)));
        ++m_failures;
        m_blockedUntil = now + delay;
        return {Login::Result::Wrong, {}, {}, delay};
    }
    m_failures = 0;
    m_blockedUntil = std::chrono::milliseconds{0};
    dropExpired();
    if (m_sessions.size() >= kMaxSessions) m_sessions.erase(m_sessions.begin());
    m_sessions.push_back({randomText(), randomText(), now});
    return {Login::Result::Ok, m_sessions.back().cookie, m_sessions.back().token, {}};
}

const std::string* WebSessions::tokenFor(const std::string& cookie) {
    dropExpired();
    for (Session& session : m_sessions)
        if (constantTimeEqual(session.cookie, cookie)) {
            session.lastUse = m_clock.elapsed();
            return &session.token;
        }
    return nullptr;
}

void WebSessions::logout(const std::string& cookie) {
    std::erase_if(m_sessions, [&cookie](const Session& session) {
        return constantTimeEqual(session.cookie, cookie);
    });
}

void WebSessions::dropExpired() {
    const std::chrono::milliseconds now = m_clock.elapsed();
    std::erase_if(m_sessions,
                  [now](const Session& session) { return now - session.lastUse >= kIdleLife; });
}

} // namespace gw
