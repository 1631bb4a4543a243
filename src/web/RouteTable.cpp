#include "web/RouteTable.h"

namespace orvelo {

std::string RouteTable::key(std::string_view method, std::string_view path)
{
    std::string k;
    k.reserve(method.size() + 1 + path.size());
    k.append(method).append(1, ' ').append(path);
    return k;
}

void RouteTable::add(std::string_view method, std::string_view path, Context context, Handler handler)
{
    exact_.insert_or_assign(key(method, path), Route{context, std::move(handler)});
}

void RouteTable::addPrefix(std::string_view method, std::string_view prefix, Context context, Handler handler)
{
    prefixes_.push_back({std::string(method), std::string(prefix), Route{context, std::move(handler)}});
}

std::optional<RouteTable::Match> RouteTable::find(std::string_view method, std::string_view path) const
{
    if (const auto it = exact_.find(key(method, path)); it != exact_.end())
        return Match{&it->second, {}};
    for (const PrefixRoute& candidate : prefixes_) {
        if (candidate.method == method && path.starts_with(candidate.prefix))
            return Match{&candidate.route, path.substr(candidate.prefix.size())};
    }
    return std::nullopt;
}

} // namespace orvelo
