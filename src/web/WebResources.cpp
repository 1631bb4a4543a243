#include "web/WebResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace orvelo {

namespace {

std::optional<QByteArray> readRegularFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

QStringList WebResources::defaultFolders()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {programDir.filePath("resources"), programDir.filePath("../share/orvelo/resources")};
}

WebResources::WebResources(QStringList folders) : folders_(std::move(folders))
{
}

std::optional<QByteArray> WebResources::font() const
{
    for (const QString& folder : folders_)
        if (auto bytes = readRegularFile(QDir(folder).filePath("digital-7.ttf")))
            return bytes;
    return std::nullopt;
}

QStringList WebResources::fixtureFolders() const
{
    QStringList found;
    for (const QString& folder : folders_)
        found.append(QDir(folder).filePath("Fixtures"));
    return found;
}

QString WebResources::consoleLabel(const QString& fileName)
{
    const QString extension = QFileInfo(fileName).suffix();
    if (extension == QLatin1String("Fixture"))
        return QStringLiteral("Onyx / Obsidian");
    if (extension == QLatin1String("xml"))
        return QStringLiteral("MA2 / MA3");
    if (extension == QLatin1String("r66") || extension == QLatin1String("r20"))
        return QStringLiteral("Avolites");
    if (extension == QLatin1String("cha"))
        return QStringLiteral("ChamSys");
    return {};
}

QStringList WebResources::fixtureFileNames() const
{
    QStringList names;
    for (const QString& folder : fixtureFolders()) {
        const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (!consoleLabel(entry.fileName()).isEmpty() && !names.contains(entry.fileName()))
                names.append(entry.fileName());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<QByteArray> WebResources::fixtureFile(const QString& name) const
{
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1String("..")) ||
        name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return std::nullopt;
    for (const QString& folder : fixtureFolders())
        if (auto bytes = readRegularFile(QDir(folder).filePath(name)))
            return bytes;
    return std::nullopt;
}

} // namespace orvelo
