#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

#include "net/NetworkInterface.h"

#include <vector>

namespace orvelo {

struct AppServices;

// Every setting the settings view offers, read from and written straight to the owning
// service: protocols, the DMX configuration, the background video, display sleep, the web
// remote's addresses, NDI, the network interface and the media library folder. Main thread.
class SettingsViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList protocolNames READ protocolNames CONSTANT)
    Q_PROPERTY(int inputProtocol READ inputProtocol WRITE setInputProtocol NOTIFY changed)
    Q_PROPERTY(int outputProtocol READ outputProtocol WRITE setOutputProtocol NOTIFY changed)
    Q_PROPERTY(int universe READ universe WRITE setUniverse NOTIFY changed)
    Q_PROPERTY(int subnet READ subnet WRITE setSubnet NOTIFY changed)
    Q_PROPERTY(int startChannel READ startChannel WRITE setStartChannel NOTIFY changed)
    Q_PROPERTY(QStringList modeNames READ modeNames CONSTANT)
    Q_PROPERTY(int mode READ mode WRITE setMode NOTIFY changed)
    Q_PROPERTY(QStringList frameRateNames READ frameRateNames CONSTANT)
    Q_PROPERTY(int frameRate READ frameRate WRITE setFrameRate NOTIFY changed)
    Q_PROPERTY(QString channelsUsed READ channelsUsed NOTIFY changed)
    Q_PROPERTY(bool hasDefaultVideo READ hasDefaultVideo NOTIFY changed)
    Q_PROPERTY(QString defaultVideoName READ defaultVideoName NOTIFY changed)
    Q_PROPERTY(
        bool showDefaultVideoInPlayer READ showDefaultVideoInPlayer WRITE setShowDefaultVideoInPlayer NOTIFY changed)
    Q_PROPERTY(bool preventSleep READ preventSleep WRITE setPreventSleep NOTIFY changed)
    Q_PROPERTY(bool webRunning READ webRunning NOTIFY changed)
    Q_PROPERTY(QString webURL READ webURL NOTIFY changed)
    Q_PROPERTY(QStringList accessibleURLs READ accessibleURLs NOTIFY interfacesChanged)
    Q_PROPERTY(bool ndiEnabled READ ndiEnabled WRITE setNdiEnabled NOTIFY changed)
    Q_PROPERTY(QStringList ndiFpsNames READ ndiFpsNames CONSTANT)
    Q_PROPERTY(int ndiFps READ ndiFps WRITE setNdiFps NOTIFY changed)
    Q_PROPERTY(QStringList ndiScaleNames READ ndiScaleNames CONSTANT)
    Q_PROPERTY(int ndiScale READ ndiScale WRITE setNdiScale NOTIFY changed)
    Q_PROPERTY(QStringList interfaceNames READ interfaceNames NOTIFY interfacesChanged)
    Q_PROPERTY(int interfaceIndex READ interfaceIndex WRITE setInterfaceIndex NOTIFY interfacesChanged)
    Q_PROPERTY(QString mediaFolder READ mediaFolder WRITE setMediaFolder NOTIFY changed)
public:
    explicit SettingsViewModel(const AppServices& app, QObject* parent = nullptr);

    QStringList protocolNames() const;
    int inputProtocol() const;
    void setInputProtocol(int index);
    int outputProtocol() const;
    void setOutputProtocol(int index);

    int universe() const;
    void setUniverse(int value);
    int subnet() const;
    void setSubnet(int value);
    int startChannel() const;
    void setStartChannel(int value);
    QStringList modeNames() const;
    int mode() const;
    void setMode(int index);
    QStringList frameRateNames() const;
    int frameRate() const;
    void setFrameRate(int index);
    QString channelsUsed() const;

    bool hasDefaultVideo() const;
    QString defaultVideoName() const;
    bool showDefaultVideoInPlayer() const;
    void setShowDefaultVideoInPlayer(bool show);
    Q_INVOKABLE void selectDefaultVideo(const QUrl& file);
    Q_INVOKABLE void removeDefaultVideo();

    bool preventSleep() const;
    void setPreventSleep(bool prevent);

    bool webRunning() const;
    QString webURL() const;
    QStringList accessibleURLs() const;
    Q_INVOKABLE void copyToClipboard(const QString& text);

    bool ndiEnabled() const;
    void setNdiEnabled(bool enabled);
    QStringList ndiFpsNames() const;
    int ndiFps() const;
    void setNdiFps(int index);
    QStringList ndiScaleNames() const;
    int ndiScale() const;
    void setNdiScale(int index);

    // "Auto / Default" first, then one entry per interface address.
    QStringList interfaceNames() const;
    int interfaceIndex() const;
    void setInterfaceIndex(int index);
    Q_INVOKABLE void refreshInterfaces();
    Q_INVOKABLE void restartNetwork();

    QString mediaFolder() const;
    void setMediaFolder(const QString& path);

signals:
    void changed();
    void interfacesChanged();

private:
    template <typename Edit> void editConfig(Edit edit);

    const AppServices& app_;
    std::vector<NetworkInterface> interfaces_;
};

} // namespace orvelo
