#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace orvelo::LibraryRoots {

// Where the web remote may point the media library: only inside a library root. The roots are
// the default media folder's parent plus folders the operator adds on the player itself. Paths
// are compared after symbolic links are resolved, so a link cannot lead a folder out of its
// root.

// Why a folder cannot be a root: not absolute, "/", the home folder itself, or a system folder
// (those that hold the system or its configuration, and the bare mount points). Nothing when
// it can.
std::optional<QString> refusal(const QString& folder, const QString& home);

// Whether the folder is one of the roots or lies below one. The folder need not exist yet.
bool contains(const QStringList& roots, const QString& folder);

// The absolute path with every existing part's symbolic links resolved; the parts that do not
// exist yet are appended as written (cleaned).
QString resolved(const QString& path);

} // namespace orvelo::LibraryRoots
