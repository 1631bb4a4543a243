#include "net/ProtocolManager.h"

#include "platform/MainThread.h"

namespace orvelo {

ProtocolManager::ProtocolManager(DMXProtocolService& artNetService, DMXProtocolService& sACNService,
                                 ListeningService& citpService, QObject* parent)
    : QObject(parent), artNetService_(artNetService), sACNService_(sACNService), citpService_(citpService)
{
    const auto stored = [this](const QString& key) {
        return dmxProtocolTypeFromRawValue(store_.text(key).value_or(QString()).toStdString());
    };
    inputProtocol_ = stored(inputProtocolKey).value_or(DMXProtocolType::artNet);
    outputProtocol_ = stored(outputProtocolKey).value_or(DMXProtocolType::artNet);
    isCITPEnabled_ = store_.boolean(citpEnabledKey).value_or(false);
    for (DMXProtocolService* service : {&artNetService_, &sACNService_})
        connect(service, &DMXProtocolService::inputNoteChanged, this, [this, service] {
            if (service == activeInputService_)
                emit inputNoteChanged();
        });
    connect(this, &ProtocolManager::activeInputServiceChanged, this, &ProtocolManager::inputNoteChanged);
    updateServices();
}

QString ProtocolManager::inputNote() const
{
    return activeInputService_ ? activeInputService_->inputNote() : QString();
}

void ProtocolManager::setInputProtocol(DMXProtocolType protocol)
{
    assertMainThread();
    inputProtocol_ = protocol;
    emit inputProtocolChanged(protocol);
    store_.setText(inputProtocolKey, QString::fromUtf8(rawValue(protocol)));
    store_.sync();
}

void ProtocolManager::setOutputProtocol(DMXProtocolType protocol)
{
    assertMainThread();
    outputProtocol_ = protocol;
    emit outputProtocolChanged(protocol);
    store_.setText(outputProtocolKey, QString::fromUtf8(rawValue(protocol)));
    store_.sync();
}

void ProtocolManager::updateServices()
{
    assertMainThread();
    if (activeInputService_)
        activeInputService_->stopListening();
    activeInputService_ = &serviceFor(inputProtocol_);
    emit activeInputServiceChanged(activeInputService_);
    activeInputService_->startListening();

    activeOutputService_ = &serviceFor(outputProtocol_);
    emit activeOutputServiceChanged(activeOutputService_);
}

void ProtocolManager::setCITPEnabled(bool enabled)
{
    assertMainThread();
    isCITPEnabled_ = enabled;
    emit isCITPEnabledChanged(enabled);
    store_.setBool(citpEnabledKey, enabled);
    store_.sync();
    if (enabled)
        citpService_.startListening();
    else
        citpService_.stopListening();
}

DMXProtocolService& ProtocolManager::serviceFor(DMXProtocolType protocol) const
{
    return protocol == DMXProtocolType::sACN ? sACNService_ : artNetService_;
}

} // namespace orvelo
