#pragma once

#include <QString>

#include <optional>
#include <string_view>

namespace orvelo::MediaPath {

// Names of files in a folder the web remote manages (the media library, the playlists), and
// the confinement of every name to its folder. A name is a relative path of '/'-separated
// segments; no segment is empty, ".", "..", starts with '.' (the library's own temporary
// files do), holds a backslash or a control character, or is longer than 200 bytes (so that
// an upload's temporary name still fits the file system).

// A name as a URL path carries it: literal '/' between segments, each segment
// percent-decoded. An encoded separator ("%2F", "%5C") is refused, as is any broken escape.
std::optional<QString> fromUrlPath(std::string_view encoded);
// A name as a JSON body carries it: the same rules, without decoding.
std::optional<QString> checked(const QString& name);

// The existing regular file a name refers to, after every symbolic link is followed, when it
// lies inside `folder`; nothing otherwise.
std::optional<QString> existingFile(const QString& folder, const QString& name);

struct WriteTarget {
    QString path; // where the file goes (the folder's own path, links not followed)
    bool exists;  // a file of that name is already there
};
// Where a file of that name may be written inside `folder`: the sub-folders on the way are
// created, and every one that exists already must lie inside the folder. Nothing when the
// name would leave the folder or names a folder.
std::optional<WriteTarget> writeTarget(const QString& folder, const QString& name);

// Whether `path` (after following links) lies inside `folder` (after following links).
bool isInside(const QString& folder, const QString& path);

} // namespace orvelo::MediaPath
