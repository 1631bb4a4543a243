#include "web/HttpRequestFramer.h"

#include <algorithm>
#include <cstdint>

namespace orvelo {

namespace {

constexpr std::string_view headTerminator = "\r\n\r\n";

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::size_t> contentLength(std::string_view head)
{
    // The request line comes first; header lines follow, one per CRLF.
    std::size_t lineStart = head.find("\r\n");
    while (lineStart != std::string_view::npos) {
        lineStart += 2;
        const std::size_t lineEnd = head.find("\r\n", lineStart);
        const std::string_view line =
            head.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), "Content-Length")) {
            const std::string_view value = trimmed(line.substr(colon + 1));
            if (value.empty())
                return std::nullopt;
            std::size_t length = 0;
            for (const char c : value) {
                if (c < '0' || c > '9')
                    return std::nullopt;
                if (length > HttpRequestFramer::maxRequestBytes)
                    return SIZE_MAX;
                length = length * 10 + static_cast<std::size_t>(c - '0');
            }
            return length;
        }
        lineStart = lineEnd;
    }
    return std::nullopt;
}

std::optional<std::string_view> headerValue(std::string_view head, std::string_view name)
{
    std::size_t lineStart = head.find("\r\n");
    while (lineStart != std::string_view::npos) {
        lineStart += 2;
        const std::size_t lineEnd = head.find("\r\n", lineStart);
        const std::string_view line =
            head.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), name))
            return trimmed(line.substr(colon + 1));
        lineStart = lineEnd;
    }
    return std::nullopt;
}

HttpRequestFramer::State HttpRequestFramer::append(std::string_view bytes)
{
    if (state_ != State::incomplete)
        return state_;
    const std::size_t searchFrom = data_.size() >= 3 ? data_.size() - 3 : 0;
    // Never hold more than one byte past the limit: that byte already proves the overflow.
    const std::size_t room = maxRequestBytes + 1 - data_.size();
    data_.append(bytes.substr(0, room));
    evaluate(searchFrom);
    return state_;
}

HttpRequestFramer::State HttpRequestFramer::finish()
{
    // A body cut short of its announced length would be read as something it is not.
    if (state_ == State::incomplete && !data_.empty())
        state_ = expectedSize_ ? State::malformed : State::complete;
    return state_;
}

void HttpRequestFramer::evaluate(std::size_t searchFrom)
{
    if (!expectedSize_) {
        const std::size_t headEnd = data_.find(headTerminator, searchFrom);
        // Lines ended by a lone LF would let a head be read two ways; such a head is refused.
        const std::size_t scanEnd = headEnd == std::string::npos ? data_.size() : headEnd;
        for (std::size_t i = scannedForLineFeeds_; i < scanEnd; ++i) {
            if (data_[i] == '\n' && (i == 0 || data_[i - 1] != '\r')) {
                state_ = State::malformed;
                return;
            }
        }
        scannedForLineFeeds_ = scanEnd;
        if (headEnd == std::string::npos) {
            if (data_.size() >= maxRequestBytes)
                state_ = State::tooLarge;
            return;
        }
        const std::size_t headSize = headEnd + headTerminator.size();
        if (headSize > maxRequestBytes) {
            state_ = State::tooLarge;
            return;
        }
        headSize_ = headSize;
        const std::size_t bodySize = contentLength(std::string_view(data_).substr(0, headSize)).value_or(0);
        if (bodySize > maxRequestBytes - headSize) {
            state_ = State::tooLarge;
            return;
        }
        expectedSize_ = headSize + bodySize;
    }
    if (data_.size() >= *expectedSize_) {
        data_.resize(*expectedSize_);
        state_ = State::complete;
    }
}

} // namespace orvelo
