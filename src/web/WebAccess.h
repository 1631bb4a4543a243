#pragma once

#include "settings/AccessRole.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace orvelo {

// Who a web request comes from, once the operator has set a password: sessions made by the
// login (a random cookie value, kept here only as its digest), bearer tokens (checked against
// the digests the settings keep) and the viewer link's key. Failed logins slow the address
// they come from down, doubling its wait each time. The rules come from the main thread; the
// checks run on the server's threads, so everything here is behind one lock, except password
// hashing, which is slow on purpose and runs outside it. Times are passed in, so that tests
// need not wait.
class WebAccess {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::string_view cookieName = "orvelo_session";
    static constexpr std::size_t maxSessions = 1000;
    static constexpr std::chrono::seconds firstWait{1};
    static constexpr std::chrono::seconds longestWait{300};

    struct Rules {
        std::string passwordHash; // empty: the remote is open
        std::map<std::string, AccessRole, std::less<>> tokenDigests;
        std::string viewerKey;
        std::chrono::duration<double> sessionIdle{12.0 * 3600};
    };

    // A new password ends every session; a new viewer key ends the viewers' sessions.
    void setRules(Rules rules);
    bool isOpen() const;

    // The role of a request head's session cookie or bearer token; an open remote gives
    // everyone the operator's role. Using a session keeps it alive.
    std::optional<AccessRole> identify(std::string_view head, Clock::time_point now);

    struct LoginResult {
        int status = 200; // 200, 401, or 429 while the address must wait
        std::optional<AccessRole> role;
        std::string cookie; // the Set-Cookie value on success
        int retryAfterSeconds = 0;
        std::string error;
    };
    // A password (operator) or the viewer link's key (viewer), from `peer`.
    LoginResult login(std::string_view password, std::string_view viewerKey, const std::string& peer,
                      Clock::time_point now);
    // Ends the head's session; the Set-Cookie value that clears it.
    std::string logout(std::string_view head);
    // Ends every session and opens one for the caller (after a password change).
    std::string restartSessions(AccessRole role, Clock::time_point now);

    // Whether the password matches (slow: a memory-hard hash). False when none is set.
    bool checkPassword(std::string_view password) const;

private:
    struct Session {
        AccessRole role;
        Clock::time_point lastUsed;
    };
    struct Attempts {
        int failures = 0;
        bool inProgress = false;
        Clock::time_point waitUntil;
        Clock::time_point lastSeen;
    };

    std::string openSession(AccessRole role, Clock::time_point now); // lock held
    void forgetQuietAddresses(Clock::time_point now);                // lock held

    mutable std::mutex mutex_;
    Rules rules_;
    std::map<std::string, Session, std::less<>> sessions_;  // by digest of the cookie value
    std::map<std::string, Attempts, std::less<>> attempts_; // by client address
};

// The value of a cookie in a request head; nothing without one.
std::optional<std::string_view> cookieValue(std::string_view head, std::string_view name);

} // namespace orvelo
