#include "web/HttpResponse.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace orvelo {

HttpResponse HttpResponse::text(int statusCode, std::string contentType, std::string body)
{
    return {statusCode, std::move(contentType), std::move(body), Kind::text, {}};
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
    return {200, std::move(contentType), std::move(data), Kind::binary, {}};
}

HttpResponse HttpResponse::ok()
{
    return json(R"({"status":"ok"})");
}

HttpResponse HttpResponse::jsonError(int statusCode, std::string_view text)
{
    const QJsonObject error{{"error", QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))}};
    return HttpResponse::text(statusCode, "application/json",
                              QJsonDocument(error).toJson(QJsonDocument::Compact).toStdString());
}

HttpResponse HttpResponse::redirect(std::string location)
{
    return HttpResponse::plainText(302, "Found").withHeader("Location", std::move(location));
}

HttpResponse HttpResponse::withHeader(std::string name, std::string value) &&
{
    headers.emplace_back(std::move(name), std::move(value));
    return std::move(*this);
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
    // No CORS header: browsers keep the same-origin rule, so a foreign page can neither read
    // the API's answers nor pass a preflight.
    out += "\r\n";
    if (kind == Kind::binary)
        out += "Cache-Control: public, max-age=31536000\r\n";
    else if (kind == Kind::versioned)
        out += "Cache-Control: public, max-age=31536000, immutable\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

std::string_view statusText(int statusCode)
{
    switch (statusCode) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 421:
        return "Misdirected Request";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Unknown";
    }
}

} // namespace orvelo
