#pragma once

#include "web/HttpRequest.h"
#include "web/HttpResponse.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvelo {

// What a route hands back: the answer, and possibly an action to queue to the main thread
// (a POST answers at once and acts afterwards). A route whose answer depends on what the
// action achieves (saving a file, say) gives `mainThreadAnswer` instead: it runs on the main
// thread and its result is the answer, `response` being unused.
struct RouteOutcome {
    HttpResponse response;
    std::function<void()> mainThreadAction;
    std::function<HttpResponse()> mainThreadAnswer;
};

// Which handler serves a method and path: exact paths first, then path prefixes in the order
// they were added. Filled once, before the server starts; read-only afterwards, so any thread
// may look up.
class RouteTable {
public:
    // Where the handler runs: on the connection's thread (pages, files, POST validation) or
    // on the main thread (documents read from the services, whose answer depends on the
    // services alone and not on the request).
    // `background` routes read the disk and decode media, which may take seconds: they run on
    // the media library's worker, holding up neither the main thread nor other connections.
    enum class Context { connectionThread, mainThread, background };

    // `rest` is the path after a prefix route's prefix; empty for exact routes.
    using Handler = std::function<RouteOutcome(const HttpRequest& request, std::string_view rest)>;

    struct Route {
        Context context;
        Handler handler;
    };

    struct Match {
        const Route* route;
        std::string_view rest;
    };

    void add(std::string_view method, std::string_view path, Context context, Handler handler);
    void addPrefix(std::string_view method, std::string_view prefix, Context context, Handler handler);

    std::optional<Match> find(std::string_view method, std::string_view path) const;

private:
    static std::string key(std::string_view method, std::string_view path);

    std::map<std::string, Route, std::less<>> exact_;
    struct PrefixRoute {
        std::string method;
        std::string prefix;
        Route route;
    };
    std::vector<PrefixRoute> prefixes_;
};

} // namespace orvelo
