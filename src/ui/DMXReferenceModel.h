#pragma once

#include <QObject>
#include <QVariantList>

namespace orvelo {

class DMXController;

// The DMX reference of the current configuration for the DMX info view, rebuilt whenever the
// configuration changes, plus the live loop channel value. Main thread.
class DMXReferenceModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int controlChannel READ controlChannel NOTIFY changed)
    Q_PROPERTY(bool hasLoopChannel READ hasLoopChannel NOTIFY changed)
    Q_PROPERTY(int loopChannel READ loopChannel NOTIFY changed)
    Q_PROPERTY(bool loopChannelReceived READ loopChannelReceived NOTIFY changed)
    Q_PROPERTY(bool hasEffectChannels READ hasEffectChannels NOTIFY changed)
    Q_PROPERTY(QString effectChannels READ effectChannels NOTIFY changed)
    Q_PROPERTY(bool effectChannelsReceived READ effectChannelsReceived NOTIFY changed)
    Q_PROPERTY(QVariantList controlRows READ controlRows NOTIFY changed)
    Q_PROPERTY(QVariantList loopRows READ loopRows NOTIFY changed)
    Q_PROPERTY(QVariantList effectRows READ effectRows NOTIFY changed)
    Q_PROPERTY(int currentLoopDMXValue READ currentLoopDMXValue NOTIFY loopValueChanged)
public:
    explicit DMXReferenceModel(DMXController& controller, QObject* parent = nullptr);

    int controlChannel() const;
    bool hasLoopChannel() const;
    int loopChannel() const;
    bool loopChannelReceived() const;
    bool hasEffectChannels() const;
    QString effectChannels() const; // "3-18"
    bool effectChannelsReceived() const;
    QVariantList controlRows() const;
    QVariantList loopRows() const;
    QVariantList effectRows() const;
    int currentLoopDMXValue() const;

signals:
    void changed();
    void loopValueChanged();

private:
    DMXController& controller_;
};

} // namespace orvelo
