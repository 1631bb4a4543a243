#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace orvelo {

// The files the remote serves that ship beside the program: the timecode font and the
// console fixture profiles in the "Fixtures" subfolder. Looked up in a list of resource
// folders, first match wins. Read-only; safe from any thread.
class WebResources {
public:
    // "resources" beside the program, then the installed share folder.
    static QStringList defaultFolders();

    explicit WebResources(QStringList folders);

    // digital-7.ttf; nothing when missing or unreadable.
    std::optional<QByteArray> font() const;

    // The fixture files a console can use, by the exact, case-sensitive extensions
    // "Fixture", "xml", "r66", "r20" and "cha", in name order.
    QStringList fixtureFileNames() const;

    // A fixture file's bytes. The name must be a plain file name: one with a path separator
    // or "..", or "." itself, reads nothing, so no request reaches outside the fixture folders.
    std::optional<QByteArray> fixtureFile(const QString& name) const;

    // The console a fixture file is for, by its extension; empty for other files.
    static QString consoleLabel(const QString& fileName);

private:
    QStringList fixtureFolders() const;

    QStringList folders_;
};

} // namespace orvelo
