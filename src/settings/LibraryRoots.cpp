#include "settings/LibraryRoots.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace orvelo::LibraryRoots {

namespace {

// Folders that hold the system itself: neither they nor anything below them is a library.
constexpr std::array systemTrees{"/bin",   "/boot",   "/dev",  "/etc",  "/lib", "/lib32",
                                 "/lib64", "/libx32", "/proc", "/sbin", "/sys", "/usr"};
// Folders whose own contents are the system's, while sub-folders may be anyone's (a mounted
// drive under /media, a service's data under /var/lib).
constexpr std::array systemFolders{"/home", "/media", "/mnt", "/opt", "/root", "/run", "/srv", "/tmp", "/var"};

bool isBelowOrAt(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder.endsWith('/') ? folder : folder + '/');
}

} // namespace

QString resolved(const QString& path)
{
    QString existing = QDir::cleanPath(path);
    QStringList missing;
    while (!QFileInfo::exists(existing) && existing != QStringLiteral("/") && !existing.isEmpty()) {
        missing.prepend(QFileInfo(existing).fileName());
        existing = QFileInfo(existing).path();
    }
    QString base = QFileInfo(existing).canonicalFilePath();
    if (base.isEmpty())
        base = existing;
    for (const QString& part : missing)
        base = base.endsWith('/') ? base + part : base + '/' + part;
    return QDir::cleanPath(base);
}

std::optional<QString> refusal(const QString& folder, const QString& home)
{
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return QStringLiteral("A library root must be an absolute path: %1").arg(folder);
    const QString path = resolved(folder);
    if (path == QStringLiteral("/"))
        return QStringLiteral("The whole disk cannot be a library root");
    if (!home.isEmpty() && path == resolved(home))
        return QStringLiteral("The home folder itself cannot be a library root: %1").arg(path);
    for (const char* tree : systemTrees)
        if (isBelowOrAt(path, QString::fromLatin1(tree)))
            return QStringLiteral("A system folder cannot be a library root: %1").arg(path);
    for (const char* system : systemFolders)
        if (path == QString::fromLatin1(system))
            return QStringLiteral("A system folder cannot be a library root: %1").arg(path);
    return std::nullopt;
}

bool contains(const QStringList& roots, const QString& folder)
{
    if (!QDir::isAbsolutePath(folder))
        return false;
    const QString path = resolved(folder);
    for (const QString& root : roots)
        if (QDir::isAbsolutePath(root) && isBelowOrAt(path, resolved(root)))
            return true;
    return false;
}

} // namespace orvelo::LibraryRoots
