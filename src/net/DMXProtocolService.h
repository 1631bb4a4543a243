#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace orvelo {

// A DMX transport (Art-Net or sACN) as the protocol manager and the controller see it.
// Concrete services also publish their last frame as `lastDMXValues`, read from the
// concrete type.
class DMXProtocolService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(QString error READ errorText NOTIFY errorChanged)
    Q_PROPERTY(QString inputNote READ inputNote NOTIFY inputNoteChanged)
public:
    using QObject::QObject;

    virtual QString name() const = 0;
    bool isListening() const { return isListening_; }
    const std::optional<QString>& error() const { return error_; }
    QString errorText() const { return error_.value_or(QString()); }
    // What the input hears that it does not take, such as frames for another universe, in
    // one line for the operator; empty when there is nothing to say.
    const QString& inputNote() const { return inputNote_; }

    virtual void startListening() = 0;
    virtual void stopListening() = 0;
    // Any thread: the timecode sender puts frames on the wire from its own.
    virtual void sendTimecode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t frames,
                              std::uint8_t type) = 0;

signals:
    void isListeningChanged(bool isListening);
    void errorChanged();
    void inputNoteChanged();

protected:
    // Main thread only.
    void setListening(bool listening);
    void setError(std::optional<QString> error);
    // Notifies only a change.
    void setInputNote(const QString& note);

private:
    bool isListening_ = false;
    std::optional<QString> error_;
    QString inputNote_;
};

} // namespace orvelo
