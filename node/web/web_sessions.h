// The web console's logins: the password check with its throttle on failed attempts, and the
// sessions it opens (a cookie naming the session, and the token every changing request must
// carry). Times come from the injected clock's elapsed time.
#pragma once

#include "common/clock.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace gw {

class WebSessions {
  public:
    static constexpr const char* kCookieName = "gw_session";
    // A session unused this long ends; each use starts the period again.
    static constexpr std::chrono::minutes kIdleLife{30};
    // Beyond this many sessions, the oldest is dropped.
    static constexpr std::size_t kMaxSessions = 8;
    // The delay after the first failed login; it doubles with each further failure up to the
    // longest. Failures are counted across all clients, and a success resets them.
    static constexpr std::chrono::seconds kFirstDelay{1};
    static constexpr std::chrono::seconds kLongestDelay{60};

    // `storedHash` gives the hash as stored now ("" when no password is set): read at each
    // login, so a password set while the node runs counts at once.
    WebSessions(const Clock& clock, std::function<std::string()> storedHash);

    struct Login {
        enum class Result { Ok, Wrong, Throttled, NoPassword } result;
        std::string cookie; // Ok: the new session's cookie and token
        std::string token;
        std::chrono::seconds retryAfter{0}; // Wrong, Throttled: the wait before the next try
    };
    Login login(const std::string& password);
    // The session's token, or null when the cookie names no live session; a use slides the
    // session's expiry. The pointer is valid until the next call on this object.
    const std::string* tokenFor(const std::string& cookie);
    void logout(const std::string& cookie);
    std::size_t sessionCount() const { return m_sessions.size(); }

  private:
    struct Session {
        std::string cookie;
        std::string token;
        std::chrono::milliseconds lastUse;
    };
    void dropExpired();

    const Clock& m_clock;
    std::function<std::string()> m_storedHash;
    std::vector<Session> m_sessions; // oldest first
    int m_failures = 0;
    std::chrono::milliseconds m_blockedUntil{0};
};

} // namespace gw
