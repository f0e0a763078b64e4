#include "capture/DeviceDiscovery.h"
#include "support/FakeAudioDeviceCatalog.h"

#include <algorithm>

#include <gtest/gtest.h>

using Props = QMap<QString, QString>;

namespace {
const Props bluetooth{{QStringLiteral("device.bus"), QStringLiteral("bluetooth")}};
const Props builtIn{{QStringLiteral("device.bus"), QStringLiteral("pci")}, {QStringLiteral("device.form_factor"), QStringLiteral("internal")}};
const Props usb{{QStringLiteral("device.bus"), QStringLiteral("usb")}};
const Props virtualDevice{{QStringLiteral("device.class"), QStringLiteral("abstract")}};
}

TEST(DeviceDiscovery, ranksMicrophonesFromTheirProperties)
{
    EXPECT_EQ(DeviceDiscovery::microphoneRank(bluetooth), 1);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{{QStringLiteral("device.api"), QStringLiteral("bluez")}}), 1);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(builtIn), 3);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{{QStringLiteral("device.bus"), QStringLiteral("platform")}}), 3);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{{QStringLiteral("device.form_factor"), QStringLiteral("internal")}}), 3);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(usb), 4);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{{QStringLiteral("device.bus"), QStringLiteral("firewire")}}), 4);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{{QStringLiteral("device.bus"), QStringLiteral("thunderbolt")}}), 4);
    // A USB headset that calls itself a headset is still external; no properties at all is "other".
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{{QStringLiteral("device.bus"), QStringLiteral("usb")}, {QStringLiteral("device.form_factor"), QStringLiteral("headset")}}), 4);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(virtualDevice), 2);
    EXPECT_EQ(DeviceDiscovery::microphoneRank(Props{}), 2);
}

TEST(DeviceDiscovery, bestMicrophonePrefersExternalThenBuiltInAndTakesBluetoothOnlyWhenAlone)
{
    FakeAudioDeviceCatalog catalog;
    using F = FakeAudioDeviceCatalog;
    catalog.state.sources = {F::source(QStringLiteral("headset"), bluetooth), F::source(QStringLiteral("laptop"), builtIn)};
    EXPECT_EQ(DeviceDiscovery::bestMicrophone(catalog)->name, QStringLiteral("laptop"));
    catalog.state.sources.push_back(F::source(QStringLiteral("usb-a"), usb));
    catalog.state.sources.push_back(F::source(QStringLiteral("usb-b"), usb));
    EXPECT_EQ(DeviceDiscovery::bestMicrophone(catalog)->name, QStringLiteral("usb-a"));

    // Equal rank: the first built-in one wins over an earlier-listed non-built-in one of that rank.
    catalog.state.sources = {F::source(QStringLiteral("virtual"), virtualDevice), F::source(QStringLiteral("headset"), bluetooth)};
    EXPECT_EQ(DeviceDiscovery::bestMicrophone(catalog)->name, QStringLiteral("virtual"));
    catalog.state.sources = {F::source(QStringLiteral("headset"), bluetooth)};
    EXPECT_EQ(DeviceDiscovery::bestMicrophone(catalog)->name, QStringLiteral("headset"));

    catalog.state.sources = {};
    EXPECT_FALSE(DeviceDiscovery::bestMicrophone(catalog));
    catalog.reachable = false;
    EXPECT_TRUE(DeviceDiscovery::microphones(catalog).empty());
}
