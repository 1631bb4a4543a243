#pragma once

#include "web/HttpResponse.h"

#include <string>
#include <string_view>

namespace orvelo {

// A file every page shares, served under a name that carries a digest of its content: a browser
// keeps it for a year without asking again, and a build that changes it changes its name, so the
// pages, which are never cached, ask for the new one.
struct WebAsset {
    std::string path; // "/assets/<stem>.<digest>.<extension>"
    std::string contentType;
    std::string body;
    std::string etag; // the digest, quoted

    static WebAsset versioned(std::string_view stem, std::string_view extension, std::string contentType,
                              std::string body);

    HttpResponse response() const;
};

} // namespace orvelo
