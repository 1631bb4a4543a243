#include "web/UploadWriter.h"

#include "platform/Log.h"
#include "platform/media/MediaDiscovery.h"
#include "web/WebJson.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QUuid>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvelo {

namespace {

std::string systemError(int error)
{
    return std::strerror(error);
}

HttpResponse failed(const std::string& why)
{
    logLine("WebServer: Upload failed: " + why);
    return HttpResponse::plainText(500, "Upload failed: " + why);
}

} // namespace

std::variant<std::unique_ptr<UploadWriter>, HttpResponse> UploadWriter::open(const QString& target, const QString& name,
                                                                             std::uint64_t size, bool overwrite)
{
    const QFileInfo info(target);
    // Hidden, so the library never lists it; unique, so two uploads of one name do not mix.
    const QString temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                              QStringLiteral(".upload-") + QUuid::createUuid().toString(QUuid::Id128);
    const int fd = ::open(temporary.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return failed(systemError(errno));
    return std::unique_ptr<UploadWriter>(new UploadWriter(fd, target, temporary, name, size, overwrite));
}

UploadWriter::UploadWriter(int fd, QString target, QString temporary, QString name, std::uint64_t size, bool overwrite)
    : fd_(fd), target_(std::move(target)), temporary_(std::move(temporary)), name_(std::move(name)), size_(size),
      overwrite_(overwrite)
{
}

UploadWriter::~UploadWriter()
{
    discard();
}

void UploadWriter::discard()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.toLocal8Bit().constData());
}

std::optional<HttpResponse> UploadWriter::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int cause = n < 0 ? errno : ENOSPC;
            discard();
            return failed(systemError(cause));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

HttpResponse UploadWriter::finish()
{
    const int closed = ::close(fd_);
    const int closeError = errno;
    fd_ = -1;
    const QByteArray from = temporary_.toLocal8Bit();
    const QByteArray to = target_.toLocal8Bit();
    if (closed != 0) {
        ::unlink(from.constData());
        return failed(systemError(closeError));
    }
    // Without permission to replace, the rename itself refuses an existing file, so a file
    // that appeared during the upload is kept too.
    int renamed = overwrite_ ? ::rename(from.constData(), to.constData())
                             : ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (renamed != 0 && !overwrite_ && errno == EINVAL) {
        // A file system without that rename: a hard link refuses an existing name the same way.
        renamed = ::link(from.constData(), to.constData());
        if (renamed == 0)
            ::unlink(from.constData());
    }
    if (renamed != 0) {
        const int cause = errno;
        ::unlink(from.constData());
        if (cause == EEXIST)
            return HttpResponse::plainText(409, "File exists: " + name_.toStdString());
        return failed(systemError(cause));
    }
    // Whether it will play is the uploader's real question: a broken export must not look
    // like a clip ready for the show.
    const MediaDiscovery found = MediaDiscovery::discover(target_);
    QJsonObject answer{
        {"status", "ok"}, {"name", name_}, {"size", static_cast<double>(size_)}, {"playable", found.playable()}};
    if (found.duration)
        answer.insert("duration", *found.duration);
    if (!found.playable())
        answer.insert("reason", found.error);
    logLine("WebServer: Uploaded " + name_.toStdString() + " (" + std::to_string(size_) + " bytes), " +
            (found.playable() ? std::string("playable") : "not playable: " + found.error.toStdString()));
    return HttpResponse::json(webjson::compactText(QJsonDocument(answer)).value_or(R"({"status":"ok"})"));
}

} // namespace orvelo
