#include "net/ProtocolManager.h"

namespace orvelo {

ProtocolManager::ProtocolManager(DMXProtocolService& artNetService, DMXProtocolService& sACNService,
                                 ListeningService& citpService, QObject* parent)
    : QObject(parent)
    , artNetService_(artNetService)
    , sACNService_(sACNService)
    , citpService_(citpService)
{
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
    inputProtocol_ = protocol;
    emit inputProtocolChanged(protocol);
}

void ProtocolManager::setOutputProtocol(DMXProtocolType protocol)
{
    outputProtocol_ = protocol;
    emit outputProtocolChanged(protocol);
}

void ProtocolManager::updateServices()
{
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
    isCITPEnabled_ = enabled;
    emit isCITPEnabledChanged(enabled);
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
