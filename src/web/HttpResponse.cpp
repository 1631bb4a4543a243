#include "web/HttpResponse.h"

namespace orvelo {

HttpResponse HttpResponse::text(int statusCode, std::string contentType, std::string body)
{
    return {statusCode, std::move(contentType), std::move(body), Kind::text};
}

HttpResponse HttpResponse::plainText(int statusCode, std::string body)
{
    return text(statusCode, "text/plain", std::move(body));
}

HttpResponse HttpResponse::json(std::string body)
{
    return text(200, "application/json", std::move(body));
}

HttpResponse HttpResponse::binary(std::string contentType, std::string data)
{
    return {200, std::move(contentType), std::move(data), Kind::binary};
}

HttpResponse HttpResponse::ok()
{
    return json(R"({"status":"ok"})");
}

std::string HttpResponse::serialize() const
{
    std::string out;
    out.reserve(200 + body.size());
    out += "HTTP/1.1 ";
    out += std::to_string(statusCode);
    out += ' ';
    out += statusText(statusCode);
    out += "\r\nContent-Type: ";
    out += contentType;
    out += "\r\nContent-Length: ";
    out += std::to_string(body.size());
    out += "\r\nAccess-Control-Allow-Origin: *\r\n";
    if (kind == Kind::binary)
        out += "Cache-Control: public, max-age=31536000\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

std::string_view statusText(int statusCode)
{
    switch (statusCode) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Unknown";
    }
}

} // namespace orvelo
