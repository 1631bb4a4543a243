#pragma once

#include "net/DMXProtocolService.h"
#include "net/DMXProtocolType.h"
#include "net/ListeningService.h"
#include "platform/SettingsStore.h"

#include <QObject>
#include <QPointer>

namespace orvelo {

// Chooses which DMX transport feeds the controller (the input) and which one carries the
// generated timecode (the output), and switches CITP on and off. Nothing here is persisted:
// every run starts with Art-Net in and out and CITP flagged off. Main thread only.
class ProtocolManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        orvelo::DMXProtocolType inputProtocol READ inputProtocol WRITE setInputProtocol NOTIFY inputProtocolChanged)
    Q_PROPERTY(
        orvelo::DMXProtocolType outputProtocol READ outputProtocol WRITE setOutputProtocol NOTIFY outputProtocolChanged)
    Q_PROPERTY(orvelo::DMXProtocolService* activeInputService READ activeInputService NOTIFY activeInputServiceChanged)
    Q_PROPERTY(
        orvelo::DMXProtocolService* activeOutputService READ activeOutputService NOTIFY activeOutputServiceChanged)
    Q_PROPERTY(bool isCITPEnabled READ isCITPEnabled WRITE setCITPEnabled NOTIFY isCITPEnabledChanged)
    Q_PROPERTY(QString inputNote READ inputNote NOTIFY inputNoteChanged)
public:
    static inline const QString inputProtocolKey = QStringLiteral("inputProtocol");
    static inline const QString outputProtocolKey = QStringLiteral("outputProtocol");
    static inline const QString citpEnabledKey = QStringLiteral("citpEnabled");

    // The three services are created before the manager and outlive it. Construction makes
    // Art-Net the input and output and starts it.
    ProtocolManager(DMXProtocolService& artNetService, DMXProtocolService& sACNService, ListeningService& citpService,
                    QObject* parent = nullptr);

    DMXProtocolType inputProtocol() const { return inputProtocol_; }
    DMXProtocolType outputProtocol() const { return outputProtocol_; }
    // Changing a choice takes effect at the next updateServices().
    void setInputProtocol(DMXProtocolType protocol);
    void setOutputProtocol(DMXProtocolType protocol);

    DMXProtocolService* activeInputService() const { return activeInputService_; }
    DMXProtocolService* activeOutputService() const { return activeOutputService_; }

    // Stops the current input, makes the chosen one active and starts it (choosing the same
    // input again restarts it); makes the chosen output active without starting or stopping it.
    void updateServices();

    // The active input's note ("Art-Net seen on 0:0:1, listening on 0:0:0"); empty when it has
    // nothing to say.
    QString inputNote() const;

    bool isCITPEnabled() const { return isCITPEnabled_; }
    // Starts or stops CITP on every assignment, even of the same value.
    void setCITPEnabled(bool enabled);

    DMXProtocolService& artNetService() const { return artNetService_; }
    DMXProtocolService& sACNService() const { return sACNService_; }

signals:
    void inputProtocolChanged(orvelo::DMXProtocolType protocol);
    void outputProtocolChanged(orvelo::DMXProtocolType protocol);
    void activeInputServiceChanged(orvelo::DMXProtocolService* service);
    void activeOutputServiceChanged(orvelo::DMXProtocolService* service);
    void isCITPEnabledChanged(bool enabled);
    void inputNoteChanged();

private:
    DMXProtocolService& serviceFor(DMXProtocolType protocol) const;

    // The protocol choices survive a restart.
    SettingsStore store_;
    DMXProtocolType inputProtocol_ = DMXProtocolType::artNet;
    DMXProtocolType outputProtocol_ = DMXProtocolType::artNet;
    QPointer<DMXProtocolService> activeInputService_;
    QPointer<DMXProtocolService> activeOutputService_;
    bool isCITPEnabled_ = false;
    DMXProtocolService& artNetService_;
    DMXProtocolService& sACNService_;
    ListeningService& citpService_;
};

} // namespace orvelo
