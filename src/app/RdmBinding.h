#pragma once

namespace orvelo {

class ArtNetService;
class DMXController;
class IdentifyPicture;
class SettingsManager;

// Joins the node's RDM responder to the player. What a console sets reaches the player as the
// operator's changes do: the start address moves the DMX configuration's universe and start
// channel, the label goes into the settings, identify turns the identify picture on or off.
// And the responder reports the configuration and the label wherever they were changed from.
// Main thread; the services outlive the controller, which ends the binding.
void bindRdm(ArtNetService& artNet, DMXController& controller, SettingsManager& settings, IdentifyPicture& identify);

} // namespace orvelo
