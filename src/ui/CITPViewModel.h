#pragma once

#include <QObject>
#include <QVariantList>

namespace orvelo {

class CITPService;

// The CITP explorer's and traffic monitor's view of the CITP service: its state, the peers
// with their symbols, and the packet log newest first. Main thread.
class CITPViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY stateChanged)
    Q_PROPERTY(QVariantList peers READ peers NOTIFY peersChanged)
    Q_PROPERTY(QVariantList logs READ logs NOTIFY logsChanged)
public:
    explicit CITPViewModel(CITPService& service, QObject* parent = nullptr);

    bool isListening() const;
    QVariantList peers() const;
    QVariantList logs() const;

    Q_INVOKABLE void refresh();
    Q_INVOKABLE void clearPeers();
    Q_INVOKABLE void clearLogs();

signals:
    void stateChanged();
    void peersChanged();
    void logsChanged();

private:
    CITPService& service_;
};

} // namespace orvelo
