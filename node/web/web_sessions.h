// The web console's logins: the password check with its throttle on each client address that
// fails, the log of failed logins (a line when an address starts failing, one with the counts
// when it stops), and the sessions a login opens (a cookie naming the session, and the token
// every changing request must carry). Times come from the injected clock's elapsed time.
#pragma once

#include "common/clock.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
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
    // The delay after an address's first failed login; it doubles with each further failure
    // from that address up to the longest. A success from it starts again.
    static constexpr std::chrono::seconds kFirstDelay{1};
    static constexpr std::chrono::seconds kLongestDelay{60};
    // An address that has not tried for this long is forgotten and its failures logged.
    static constexpr std::chrono::minutes kQuietEnd{10};
    // Addresses remembered at once; beyond, the one quiet longest is forgotten.
    static constexpr std::size_t kMaxAddresses = 1024;

    struct Services {
        const Clock& clock;
        // The hash as stored now ("" when no password is set): read at each login, so a
        // password set while the node runs counts at once.
        std::function<std::string()> storedHash;
        std::function<void(const std::string&)> log;
    };
    explicit WebSessions(Services services);

    struct Login {
        enum class Result { Ok, Wrong, Throttled, NoPassword, Damaged } result;
        std::string cookie; // Ok: the new session's cookie and token
        std::string token;
        std::chrono::seconds retryAfter{0}; // Wrong, Throttled: the wait before the next try
    };
    // A login from client `address` (as the log names it).
    Login login(const std::string& address, const std::string& password);
    // The session's token, or null when the cookie names no live session; a use slides the
    // session's expiry. The pointer is valid until the next call on this object.
    const std::string* tokenFor(const std::string& cookie);
    // False when the cookie named no session.
    bool logout(const std::string& cookie);
    std::size_t sessionCount() const { return m_sessions.size(); }
    // Logins refused since start: wrong passwords, and tries while an address had to wait.
    std::uint64_t failedLogins() const { return m_failed; }
    std::uint64_t throttledLogins() const { return m_throttled; }
    // Forgets the addresses quiet for kQuietEnd, logging what each did.
    void endQuietEpisodes();

  private:
    struct Session {
        std::string cookie;
        std::string token;
        std::chrono::milliseconds lastUse;
    };
    // One address's run of failed logins.
    struct Episode {
        int failures = 0; // since the last success, for the delay
        std::chrono::milliseconds blockedUntil{0};
        std::chrono::milliseconds lastTry{0};
        std::uint64_t failed = 0; // counted after the episode's first line
        std::uint64_t throttled = 0;
    };
    void dropExpired();
    void endEpisode(std::map<std::string, Episode>::iterator episode, const char* why);

    Services m_services;
    std::vector<Session> m_sessions; // oldest first
    std::map<std::string, Episode> m_episodes;
    std::uint64_t m_failed = 0;
    std::uint64_t m_throttled = 0;
};

} // namespace gw
