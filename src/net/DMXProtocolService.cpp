#include "net/DMXProtocolService.h"

#include "platform/MainThread.h"

namespace orvelo {

// Every assignment notifies, as subscribers (views, the web API) expect.
void DMXProtocolService::setListening(bool listening)
{
    assertMainThread();
    isListening_ = listening;
    emit isListeningChanged(listening);
}

void DMXProtocolService::setError(std::optional<QString> error)
{
    assertMainThread();
    error_ = std::move(error);
    emit errorChanged();
}

void DMXProtocolService::setInputNote(const QString& note)
{
    assertMainThread();
    if (note == inputNote_)
        return;
    inputNote_ = note;
    emit inputNoteChanged();
}

} // namespace orvelo
