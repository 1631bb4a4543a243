#pragma once

#include "web/HttpBodySink.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <variant>

namespace orvelo {

// Writes one uploaded file into the media library as its bytes arrive. They go to a hidden
// temporary file beside the target, which takes the target's name only once every byte is
// written; an upload that fails or is abandoned removes its temporary file, so the library
// never shows a half-written file. Without `overwrite` an existing file is never replaced,
// even one that appeared while the upload ran.
class UploadWriter : public HttpBodySink {
public:
    // Opens the temporary file for a body of `size` bytes; a failure comes back as the answer.
    static std::variant<std::unique_ptr<UploadWriter>, HttpResponse> open(const QString& target, const QString& name,
                                                                          std::uint64_t size, bool overwrite);
    ~UploadWriter() override;

    std::optional<HttpResponse> write(std::string_view bytes) override;
    HttpResponse finish() override;

private:
    UploadWriter(int fd, QString target, QString temporary, QString name, std::uint64_t size, bool overwrite);
    void discard();

    int fd_;
    QString target_;
    QString temporary_;
    QString name_;
    std::uint64_t size_;
    bool overwrite_;
};

} // namespace orvelo
