#include "ui/DMXReferenceModel.h"

#include "core/DMXController.h"
#include "core/DMXReference.h"

namespace orvelo {

namespace {

QVariantList rowsOf(const QVector<DMXReferenceRow>& rows)
{
    QVariantList list;
    for (const auto& row : rows)
        list << QVariantMap{
            {"range", row.range}, {"action", row.action}, {"description", row.description}, {"color", row.color}};
    return list;
}

} // namespace

DMXReferenceModel::DMXReferenceModel(DMXController& controller, QObject* parent)
    : QObject(parent), controller_(controller)
{
    connect(&controller_, &DMXController::dmxConfigChanged, this, &DMXReferenceModel::changed);
    connect(&controller_, &DMXController::currentLoopDMXValueChanged, this, &DMXReferenceModel::loopValueChanged);
}

int DMXReferenceModel::controlChannel() const
{
    return makeDMXReference(controller_.dmxConfig()).controlChannel;
}
bool DMXReferenceModel::hasLoopChannel() const
{
    return makeDMXReference(controller_.dmxConfig()).loopChannel.has_value();
}
int DMXReferenceModel::loopChannel() const
{
    return makeDMXReference(controller_.dmxConfig()).loopChannel.value_or(0);
}
bool DMXReferenceModel::loopChannelReceived() const
{
    return makeDMXReference(controller_.dmxConfig()).loopChannelReceived;
}
bool DMXReferenceModel::hasEffectChannels() const
{
    return makeDMXReference(controller_.dmxConfig()).firstEffectChannel > 0;
}
QString DMXReferenceModel::effectChannels() const
{
    const auto ref = makeDMXReference(controller_.dmxConfig());
    return QStringLiteral("%1-%2").arg(ref.firstEffectChannel).arg(ref.lastChannel);
}
bool DMXReferenceModel::effectChannelsReceived() const
{
    return makeDMXReference(controller_.dmxConfig()).effectChannelsReceived;
}
QVariantList DMXReferenceModel::controlRows() const
{
    return rowsOf(makeDMXReference(controller_.dmxConfig()).controlRows);
}
QVariantList DMXReferenceModel::loopRows() const
{
    return rowsOf(makeDMXReference(controller_.dmxConfig()).loopRows);
}
QVariantList DMXReferenceModel::effectRows() const
{
    QVariantList list;
    for (const auto& row : makeDMXReference(controller_.dmxConfig()).effectRows)
        list << QVariantMap{
            {"channel", row.channel}, {"parameter", row.parameter}, {"mapped", row.mapped}, {"reset", row.reset}};
    return list;
}
int DMXReferenceModel::currentLoopDMXValue() const
{
    return controller_.currentLoopDMXValue();
}

} // namespace orvelo
