#pragma once

#include <QByteArray>
#include <QUrl>

#include <optional>

namespace orvelo {

// A remembered file that can be reopened later. Linux has no sandbox grants, so the bookmark
// is the file's absolute path in UTF-8 and access is a plain readability check. Callers treat
// the bytes as opaque; the stored forms only ever see them Base64-encoded.
class FileBookmark {
public:
    struct Resolved {
        QUrl url;
        bool isStale = false; // a path never goes stale
    };

    // Fails for anything but an existing local file.
    static std::optional<QByteArray> create(const QUrl& url);

    // Fails only for bytes that name no absolute path; the file itself may be gone.
    static std::optional<Resolved> resolve(const QByteArray& bookmark);

    // Succeeds for an existing, readable regular file. Nothing is held open, so there is no
    // access to stop again.
    static bool startAccessing(const QUrl& url);

    static bool fileExists(const QUrl& url);
};

} // namespace orvelo
