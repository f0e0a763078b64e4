#pragma once

#include "platform/audio/AudioDeviceInfo.h"
#include "platform/video/VideoDeviceInfo.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class AudioDeviceCatalog;
class VideoDeviceCatalog;

// Lists the capture devices the studio can use and ranks the microphones. Stateless.
namespace DeviceDiscovery {
enum class Transport { bluetooth, builtIn, external, other };

// From the sound server's device properties: "device.bus" bluetooth (or the bluez api) → Bluetooth;
// usb, firewire, thunderbolt → external; "device.form_factor" internal or bus pci/platform → built-in.
Transport transport(const QMap<QString, QString>& properties);
// Larger is better: external 4, built-in 3, other 2, Bluetooth 1.
int microphoneRank(const QMap<QString, QString>& properties);
int microphoneRank(const AudioDeviceInfo& device);

// Sources that are not monitors, in the server's order; a monitor the user made the default input counts too.
std::vector<AudioDeviceInfo> microphones(AudioDeviceCatalog& catalog);
// The highest rank wins; among equals the first built-in one, else the first listed.
std::optional<AudioDeviceInfo> bestMicrophone(const std::vector<AudioDeviceInfo>& microphones);
std::optional<AudioDeviceInfo> bestMicrophone(AudioDeviceCatalog& catalog);

// Every capture node once per unique ID, in listing order.
std::vector<VideoDeviceInfo> videoDevices(VideoDeviceCatalog& catalog);
// Names containing these (any case) are a phone's mirrored screen.
QStringList defaultPhoneScreenPatterns();
bool isPhoneScreen(const VideoDeviceInfo& device, const QStringList& patterns = defaultPhoneScreenPatterns());
std::vector<VideoDeviceInfo> cameras(VideoDeviceCatalog& catalog, const QStringList& patterns = defaultPhoneScreenPatterns());
std::vector<VideoDeviceInfo> phoneScreens(VideoDeviceCatalog& catalog, const QStringList& patterns = defaultPhoneScreenPatterns());
}
