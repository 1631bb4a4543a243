#pragma once

// A plain blocking HTTP client for the socket tests. It runs on a thread of its own while the
// test thread serves the event loop, which the API routes need in order to answer.

#include "support/TestSupport.h"

#include <QJsonDocument>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace orvelo::test {

using Millis = std::chrono::milliseconds;

struct Piece {
    std::string bytes;
    Millis pauseBefore{0};
};

struct Exchange {
    std::string received;
    bool closedByServer = false; // rather than our own patience running out
};

struct Answer {
    int status = 0; // 0: no answer, or not HTTP
    std::string statusLine;
    std::vector<std::string> headers; // in order, as "Name: value"
    std::string body;
};

inline int connectTo(std::uint16_t port, const char* host = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host, &address.sin_addr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}

inline bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false; // the server has closed
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

inline Exchange readUntilClosed(int fd, Millis patience)
{
    Exchange result;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    char buffer[65536];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            result.closedByServer = true;
            break;
        }
        result.received.append(buffer, static_cast<std::size_t>(n));
    }
    return result;
}

// Sends the pieces, optionally ends its sending side, then reads until the server closes.
inline Exchange rawExchange(std::uint16_t port, const std::vector<Piece>& pieces, bool halfClose, Millis patience)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    for (const Piece& piece : pieces) {
        std::this_thread::sleep_for(piece.pauseBefore);
        if (!sendAll(fd, piece.bytes))
            break;
    }
    if (halfClose)
        ::shutdown(fd, SHUT_WR);
    Exchange result = readUntilClosed(fd, patience);
    ::close(fd);
    return result;
}

// Runs `client` on a thread of its own while this one serves the event loop.
template <typename Client> auto served(Client client, Millis patience = Millis(20000))
{
    auto future = std::async(std::launch::async, std::move(client));
    waitUntil([&] { return future.wait_for(Millis(0)) == std::future_status::ready; }, patience);
    return future.get();
}

inline Exchange exchange(std::uint16_t port, std::vector<Piece> pieces, bool halfClose = false,
                         Millis patience = Millis(5000))
{
    return served([=] { return rawExchange(port, pieces, halfClose, patience); }, patience + Millis(5000));
}

inline Answer parseAnswer(const std::string& bytes)
{
    Answer answer;
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return answer;
    answer.body = bytes.substr(headEnd + 4);
    std::size_t start = bytes.find("\r\n");
    answer.statusLine = bytes.substr(0, start);
    for (std::size_t end = start; start < headEnd; start = end) {
        end = bytes.find("\r\n", start + 2);
        answer.headers.push_back(bytes.substr(start + 2, end - start - 2));
    }
    if (answer.statusLine.starts_with("HTTP/1.1 ") && answer.statusLine.size() >= 12)
        answer.status = std::stoi(answer.statusLine.substr(9, 3));
    return answer;
}

inline std::string headerValue(const Answer& answer, const std::string& name)
{
    for (const std::string& header : answer.headers)
        if (header.starts_with(name + ": "))
            return header.substr(name.size() + 2);
    return {};
}

inline std::string request(const std::string& method, const std::string& path, const std::string& body = {},
                           const std::string& headers = {})
{
    std::string text = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
    if (method == "POST")
        text += "Content-Type: application/json\r\n";
    if (!body.empty() || method == "POST" || method == "PUT")
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return text + "\r\n" + body;
}

inline Answer call(std::uint16_t port, const std::string& method, const std::string& path, const std::string& body = {},
                   const std::string& headers = {})
{
    return parseAnswer(exchange(port, {{request(method, path, body, headers)}}, false, Millis(20000)).received);
}

inline QJsonDocument jsonOf(const Answer& answer)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(answer.body));
}

} // namespace orvelo::test
