#include "web/HttpResponder.h"

#include "web/HttpConnection.h"

namespace orvelo {

HttpResponder::HttpResponder(std::weak_ptr<HttpConnection> connection) : connection_(std::move(connection))
{
}

void HttpResponder::send(HttpResponse response) const
{
    if (const auto connection = connection_.lock())
        connection->send(std::move(response));
}

void HttpResponder::close() const
{
    if (const auto connection = connection_.lock())
        connection->closeWithoutAnswer();
}

} // namespace orvelo
