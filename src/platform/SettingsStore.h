#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

namespace orvelo {

// The per-user key-value store: $XDG_CONFIG_HOME/Orvelo/Orvelo.conf. Reads are by kind: a
// value stored as another kind reads as nothing, so a hand-edited or foreign value is never
// taken for a valid one. Writers call sync() before they return, so that a change is on disk
// the moment its setter has run. Main thread only.
class SettingsStore {
public:
    SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool contains(const QString& key) const;
    std::optional<QByteArray> bytes(const QString& key) const;
    // The native format keeps a bool as the text "true" or "false"; only those two read as one.
    std::optional<bool> boolean(const QString& key) const;
    std::optional<QString> text(const QString& key) const;
    // A whole number stored as text within [low, high]; none when missing or out of range.
    std::optional<int> wholeNumber(const QString& key, int low, int high) const;

    // A value equal to the stored one (same kind) is left alone, so the file is only
    // rewritten when something really changed.
    void setBytes(const QString& key, const QByteArray& value);
    void setBool(const QString& key, bool value);
    void setText(const QString& key, const QString& value);
    void remove(const QString& key);

    // Writes pending changes to disk; logs and returns false when that fails.
    bool sync();

    QString fileName() const { return settings_->fileName(); }

private:
    void open();

    // Replaced before the sync that follows an error: QSettings keeps reporting the first
    // error it met, and each sync must report on itself. Unwritten changes are kept by Qt's
    // per-file cache, so the next sync that succeeds writes them as well.
    std::unique_ptr<QSettings> settings_;
    bool reopen_ = false;
};

} // namespace orvelo
