#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvelo {

// One answer of the web server, as the bytes that go on the wire: a status line, the headers
// in a fixed order, then the body. Every answer closes its connection. Pure: no sockets.
struct HttpResponse {
    enum class Kind {
        text,      // pages, JSON and plain-text answers: never cached
        binary,    // the font and fixture downloads: cached for a year
        versioned, // the pages' shared files, whose name changes with their content: never asked again
    };

    int statusCode = 200;
    std::string contentType;
    std::string body; // bytes; Content-Length counts these, not characters
    Kind kind = Kind::text;
    // Headers a route adds (a cookie, a redirect's Location), written before Connection.
    std::vector<std::pair<std::string, std::string>> headers;

    static HttpResponse text(int statusCode, std::string contentType, std::string body);
    static HttpResponse plainText(int statusCode, std::string body);
    static HttpResponse json(std::string body);
    static HttpResponse binary(std::string contentType, std::string data);
    static HttpResponse ok();
    // A JSON answer {"error": text} with that status: the API's refusals.
    static HttpResponse jsonError(int statusCode, std::string_view text);
    static HttpResponse redirect(std::string location);

    HttpResponse withHeader(std::string name, std::string value) &&;

    std::string serialize() const;
};

// The reason phrase of the status line; "Unknown" for codes the server never chooses.
std::string_view statusText(int statusCode);

} // namespace orvelo
