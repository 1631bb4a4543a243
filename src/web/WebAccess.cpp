#include "web/WebAccess.h"

#include "platform/Secrets.h"
#include "web/HttpRequestFramer.h"

#include <algorithm>
#include <cmath>

namespace orvelo {

namespace {

std::string setCookie(std::string_view value, bool clear)
{
    std::string cookie =
        std::string(WebAccess::cookieName) + "=" + std::string(value) + "; Path=/; HttpOnly; SameSite=Strict";
    if (clear)
        cookie += "; Max-Age=0";
    return cookie;
}

} // namespace

std::optional<std::string_view> cookieValue(std::string_view head, std::string_view name)
{
    auto cookies = headerValue(head, "Cookie");
    if (!cookies)
        return std::nullopt;
    std::string_view rest = *cookies;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        std::string_view pair = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ')
            pair.remove_prefix(1);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return pair.substr(equals + 1);
    }
    return std::nullopt;
}

void WebAccess::setRules(Rules rules)
{
    std::lock_guard lock(mutex_);
    if (rules.passwordHash != rules_.passwordHash)
        sessions_.clear();
    else if (rules.viewerKey != rules_.viewerKey)
        std::erase_if(sessions_, [](const auto& entry) { return entry.second.role == AccessRole::view; });
    rules_ = std::move(rules);
}

bool WebAccess::isOpen() const
{
    std::lock_guard lock(mutex_);
    return rules_.passwordHash.empty();
}

std::optional<AccessRole> WebAccess::identify(std::string_view head, Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    if (rules_.passwordHash.empty())
        return AccessRole::operate;
    if (const auto authorization = headerValue(head, "Authorization");
        authorization && authorization->starts_with("Bearer ")) {
        const auto token = rules_.tokenDigests.find(secrets::digest(authorization->substr(7)));
        if (token != rules_.tokenDigests.end())
            return token->second;
    }
    const auto cookie = cookieValue(head, cookieName);
    if (!cookie)
        return std::nullopt;
    const auto session = sessions_.find(secrets::digest(*cookie));
    if (session == sessions_.end())
        return std::nullopt;
    if (now - session->second.lastUsed > rules_.sessionIdle) {
        sessions_.erase(session);
        return std::nullopt;
    }
    session->second.lastUsed = now;
    return session->second.role;
}

WebAccess::LoginResult WebAccess::login(std::string_view password, std::string_view viewerKey, const std::string& peer,
                                        Clock::time_point now)
{
    std::string hash;
    std::string expectedViewerKey;
    {
        std::lock_guard lock(mutex_);
        if (rules_.passwordHash.empty())
            return {200, AccessRole::operate, {}, 0, {}};
        forgetQuietAddresses(now);
        Attempts& attempts = attempts_[peer];
        attempts.lastSeen = now;
        if (attempts.inProgress || now < attempts.waitUntil) {
            const auto wait = std::chrono::duration<double>(attempts.waitUntil - now).count();
            const int seconds = std::max(1, static_cast<int>(std::ceil(wait)));
            return {429,
                    std::nullopt,
                    {},
                    seconds,
                    "Too many failed logins: try again in " + std::to_string(seconds) + " s"};
        }
        attempts.inProgress = true;
        hash = rules_.passwordHash;
        expectedViewerKey = rules_.viewerKey;
    }
    const bool viewer = !viewerKey.empty();
    const bool accepted = viewer
                              ? !expectedViewerKey.empty() && secrets::equalInConstantTime(viewerKey, expectedViewerKey)
                              : secrets::verifyPassword(hash, password);

    std::lock_guard lock(mutex_);
    Attempts& attempts = attempts_[peer];
    attempts.inProgress = false;
    if (!accepted || hash != rules_.passwordHash) {
        ++attempts.failures;
        const auto wait =
            std::min<std::chrono::seconds>(longestWait, firstWait * (1 << std::min(attempts.failures - 1, 16)));
        attempts.waitUntil = now + wait;
        return {401, std::nullopt, {}, 0, viewer ? "This viewer link is no longer valid" : "Wrong password"};
    }
    attempts_.erase(peer);
    const AccessRole role = viewer ? AccessRole::view : AccessRole::operate;
    return {200, role, setCookie(openSession(role, now), false), 0, {}};
}

std::string WebAccess::logout(std::string_view head)
{
    std::lock_guard lock(mutex_);
    if (const auto cookie = cookieValue(head, cookieName))
        sessions_.erase(secrets::digest(*cookie));
    return setCookie("", true);
}

std::string WebAccess::restartSessions(AccessRole role, Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    sessions_.clear();
    return setCookie(openSession(role, now), false);
}

bool WebAccess::checkPassword(std::string_view password) const
{
    std::string hash;
    {
        std::lock_guard lock(mutex_);
        hash = rules_.passwordHash;
    }
    return !hash.empty() && secrets::verifyPassword(hash, password);
}

std::string WebAccess::openSession(AccessRole role, Clock::time_point now)
{
    if (sessions_.size() >= maxSessions) {
        const auto oldest = std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
            return a.second.lastUsed < b.second.lastUsed;
        });
        sessions_.erase(oldest);
    }
    const std::string value = secrets::randomToken(32);
    sessions_[secrets::digest(value)] = Session{role, now};
    return value;
}

void WebAccess::forgetQuietAddresses(Clock::time_point now)
{
    // An address quiet for longer than the longest wait starts afresh; this also bounds the table.
    std::erase_if(attempts_, [&](const auto& entry) {
        return !entry.second.inProgress && now - entry.second.lastSeen > 2 * longestWait;
    });
}

} // namespace orvelo
