#include "ui/CITPViewModel.h"

#include "platform/MainThread.h"

#include "citp/CITPService.h"
#include "ui/CITPTexts.h"

namespace orvelo {

CITPViewModel::CITPViewModel(CITPService& service, QObject* parent) : QObject(parent), service_(service)
{
    connect(&service_, &CITPService::isListeningChanged, this, &CITPViewModel::stateChanged);
    connect(&service_, &CITPService::discoveredPeersChanged, this, &CITPViewModel::peersChanged);
    connect(&service_, &CITPService::packetLogsChanged, this, &CITPViewModel::logsChanged);
}

bool CITPViewModel::isListening() const
{
    return service_.isListening();
}

QVariantList CITPViewModel::peers() const
{
    QVariantList list;
    for (const auto& peer : service_.discoveredPeers())
        list << QVariantMap{{"name", QString::fromStdString(peer.name)},
                            {"type", QString::fromStdString(peer.type)},
                            {"ip", QString::fromStdString(peer.ip)},
                            {"symbol", ui::peerSymbol(peer.type)},
                            {"lastSeen", peer.lastSeen.toLocalTime().toString(QStringLiteral("HH:mm:ss"))}};
    return list;
}

QVariantList CITPViewModel::logs() const
{
    QVariantList list;
    const auto& logs = service_.packetLogs();
    for (auto it = logs.rbegin(); it != logs.rend(); ++it)
        list << QVariantMap{{"time", it->timestamp.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz"))},
                            {"direction", QString::fromStdString(it->direction)},
                            {"source", QString::fromStdString(it->source)},
                            {"description", QString::fromStdString(it->description)},
                            {"type", ui::packetTypeText(it->data)},
                            {"marker", ui::patchMarker(it->data)}};
    return list;
}

void CITPViewModel::refresh()
{
    assertMainThread();
    if (service_.isListening())
        service_.announce();
    emit peersChanged();
}

void CITPViewModel::clearPeers()
{
    assertMainThread();
    service_.clearDiscoveredPeers();
}

void CITPViewModel::clearLogs()
{
    assertMainThread();
    service_.clearPacketLogs();
}

} // namespace orvelo
