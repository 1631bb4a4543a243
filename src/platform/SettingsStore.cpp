#include "platform/SettingsStore.h"

#include "platform/MainThread.h"

#include "platform/Log.h"

#include <QMetaType>
#include <QVariant>

namespace orvelo {

SettingsStore::SettingsStore()
{
    open();
}

void SettingsStore::open()
{
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvelo"),
                                            QStringLiteral("Orvelo"));
}

bool SettingsStore::contains(const QString& key) const
{
    return settings_->contains(key);
}

std::optional<QByteArray> SettingsStore::bytes(const QString& key) const
{
    const QVariant value = settings_->value(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

std::optional<bool> SettingsStore::boolean(const QString& key) const
{
    const QVariant value = settings_->value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

std::optional<QString> SettingsStore::text(const QString& key) const
{
    const QVariant value = settings_->value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<int> SettingsStore::wholeNumber(const QString& key, int low, int high) const
{
    const auto stored = text(key);
    bool ok = false;
    const int value = stored ? stored->toInt(&ok) : 0;
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

void SettingsStore::setBytes(const QString& key, const QByteArray& value)
{
    assertMainThread();
    if (bytes(key) != value)
        settings_->setValue(key, value);
}

void SettingsStore::setBool(const QString& key, bool value)
{
    assertMainThread();
    if (boolean(key) != value)
        settings_->setValue(key, value);
}

void SettingsStore::setText(const QString& key, const QString& value)
{
    assertMainThread();
    if (text(key) != value)
        settings_->setValue(key, value);
}

void SettingsStore::remove(const QString& key)
{
    assertMainThread();
    if (settings_->contains(key))
        settings_->remove(key);
}

bool SettingsStore::sync()
{
    assertMainThread();
    if (reopen_) {
        open();
        reopen_ = false;
    }
    settings_->sync();
    const QSettings::Status status = settings_->status();
    // A format error only says the file was not clean when it was read; what could be read
    // was kept and the file is written all the same.
    const bool written = status != QSettings::AccessError;
    if (!written)
        logLine(("SettingsStore: Failed to write " + settings_->fileName()).toStdString());
    reopen_ = status != QSettings::NoError;
    return written;
}

} // namespace orvelo
