#include "app/RdmBinding.h"

#include "core/DMXController.h"
#include "net/ArtNetPacket.h"
#include "net/ArtNetService.h"
#include "net/RdmResponder.h"
#include "playback/IdentifyPicture.h"
#include "settings/SettingsManager.h"

namespace orvelo {

void bindRdm(ArtNetService& artNet, DMXController& controller, SettingsManager& settings, IdentifyPicture& identify)
{
    const auto follow = [&artNet, &controller, &settings, &identify] {
        const DMXConfig& config = controller.dmxConfig();
        const std::string label = settings.deviceLabel() ? settings.deviceLabel()->toStdString()
                                                         : std::string(RdmResponder::defaultDeviceLabel);
        artNet.rdm().setStartChannel(static_cast<int>(config.startChannel));
        artNet.rdm().setDeviceLabel(label);
        // The address as the input note writes it: net:subnet:universe.
        const int portAddress = artnet::portAddress(static_cast<int>(config.net), static_cast<int>(config.subnet),
                                                    static_cast<int>(config.universe));
        identify.setText(QString::fromStdString(label),
                         QStringLiteral("Universe %1 · Channel %2")
                             .arg(QString::fromStdString(artnet::portAddressText(portAddress)))
                             .arg(config.startChannel));
    };
    QObject::connect(&controller, &DMXController::dmxConfigChanged, &controller, follow);
    QObject::connect(&settings, &SettingsManager::deviceLabelChanged, &controller, follow);
    follow();

    artNet.onDMXAddressChanged = [&controller](int universe, int channel) {
        DMXConfig config = controller.dmxConfig();
        config.universe = universe;
        config.startChannel = channel;
        controller.setDmxConfig(config);
    };
    artNet.onDeviceLabelChanged = [&settings](const std::string& label) {
        settings.setDeviceLabel(QString::fromStdString(label));
    };
    artNet.onIdentifyChanged = [&identify](bool on) { identify.setOn(on); };
}

} // namespace orvelo
