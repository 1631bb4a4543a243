#include "web/RequestGuard.h"

#include "web/HttpRequestFramer.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace orvelo {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool isIpLiteral(const std::string& host)
{
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

} // namespace

std::string RequestGuard::hostOf(std::string_view hostHeader)
{
    if (hostHeader.starts_with('[')) {
        const std::size_t end = hostHeader.find(']');
        return end == std::string_view::npos ? std::string() : lower(hostHeader.substr(1, end - 1));
    }
    std::string host = lower(hostHeader.substr(0, hostHeader.find(':')));
    if (host.ends_with('.'))
        host.pop_back();
    return host;
}

std::string RequestGuard::originOf(std::string_view url)
{
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return {};
    const std::size_t end = url.find_first_of("/?#", scheme + 3);
    return lower(url.substr(0, end));
}

std::optional<RequestGuard::Refusal> RequestGuard::check(std::string_view method, std::string_view head,
                                                         const std::set<std::string, std::less<>>& allowedNames)
{
    const auto host = headerValue(head, "Host");
    if (host) {
        const std::string name = hostOf(*host);
        if (!isIpLiteral(name) && name != "localhost" && !allowedNames.contains(name))
            return Refusal{HttpResponse::plainText(421, "Misdirected Request"),
                           "unknown host name " + std::string(*host)};
    }
    if (method == "GET" || method == "HEAD")
        return std::nullopt;

    const auto origin = headerValue(head, "Origin");
    const auto referer = headerValue(head, "Referer");
    if (origin || referer) {
        const std::string claimed = origin ? lower(*origin) : originOf(*referer);
        if (!host || claimed != "http://" + lower(*host))
            return Refusal{HttpResponse::jsonError(403, "Cross-site requests are refused"),
                           "cross-site request from " + std::string(origin ? *origin : *referer)};
        if (method == "POST") {
            const std::string type = lower(headerValue(head, "Content-Type").value_or(""));
            std::string_view mediaType = std::string_view(type).substr(0, type.find(';'));
            while (!mediaType.empty() && mediaType.back() == ' ')
                mediaType.remove_suffix(1);
            if (mediaType != "application/json")
                return Refusal{HttpResponse::jsonError(415, "Send the body as application/json"),
                               "browser request with content type " + type};
        }
    }
    return std::nullopt;
}

} // namespace orvelo
