#pragma once

#include "web/HttpResponse.h"

#include <memory>

namespace orvelo {

class HttpConnection;

// The way back to the client of one request, for whoever builds the answer on whichever
// thread. Holds its connection weakly: once the connection has ended (answered, timed out,
// server gone), sending does nothing.
class HttpResponder {
public:
    HttpResponder() = default;
    explicit HttpResponder(std::weak_ptr<HttpConnection> connection);

    // Sends the answer and closes the connection; only the first answer counts. Any thread.
    void send(HttpResponse response) const;
    // Closes the connection without an answer. Any thread.
    void close() const;

private:
    std::weak_ptr<HttpConnection> connection_;
};

} // namespace orvelo
