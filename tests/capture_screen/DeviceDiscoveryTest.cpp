#include "capture/DeviceDiscovery.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/video/V4L2DeviceCatalog.h"
#include "support/FakeAudioDeviceCatalog.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/PrivateNullSink.h"

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

TEST(DeviceDiscovery, monitorsAreNotMicrophonesUnlessMadeTheDefaultInput)
{
    FakeAudioDeviceCatalog catalog;
    using F = FakeAudioDeviceCatalog;
    catalog.state.sources = {F::source(QStringLiteral("speakers.monitor"), {}, true), F::source(QStringLiteral("laptop"), builtIn),
        F::source(QStringLiteral("loopback.monitor"), {}, true)};
    catalog.state.defaultSource = QStringLiteral("loopback.monitor");
    const auto microphones = DeviceDiscovery::microphones(catalog);
    ASSERT_EQ(microphones.size(), 2u);
    EXPECT_EQ(microphones[0].name, QStringLiteral("laptop"));
    EXPECT_EQ(microphones[1].name, QStringLiteral("loopback.monitor"));
}

TEST(DeviceDiscovery, videoDevicesAreListedOnceAndPhoneScreensSplitFromCameras)
{
    FakeVideoDeviceCatalog catalog;
    using F = FakeVideoDeviceCatalog;
    catalog.list = {F::device(QStringLiteral("cam"), QStringLiteral("HD Webcam C920")), F::device(QStringLiteral("cam"), QStringLiteral("HD Webcam C920")),
        F::device(QStringLiteral("mirror"), QStringLiteral("scrcpy mirror")), F::device(QStringLiteral("ios"), QStringLiteral("Ada's IPHONE")),
        F::device(QStringLiteral("pro"), QStringLiteral("Studio Cam"))};
    ASSERT_EQ(DeviceDiscovery::videoDevices(catalog).size(), 4u);
    const auto cameras = DeviceDiscovery::cameras(catalog);
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].uniqueID, QStringLiteral("cam"));
    EXPECT_EQ(cameras[1].uniqueID, QStringLiteral("pro"));
    const auto phones = DeviceDiscovery::phoneScreens(catalog);
    ASSERT_EQ(phones.size(), 2u);
    EXPECT_EQ(phones[0].uniqueID, QStringLiteral("mirror"));
    EXPECT_EQ(phones[1].uniqueID, QStringLiteral("ios"));
    // A custom pattern list replaces the default one.
    EXPECT_EQ(DeviceDiscovery::phoneScreens(catalog, {QStringLiteral("Studio")}).size(), 1u);
    EXPECT_TRUE(DeviceDiscovery::phoneScreens(catalog, {QString()}).empty());
}

TEST(DeviceDiscoveryIntegration, listsTheSoundServersTestSources)
{
    if (!PrivateNullSink::testServerRunning())
        GTEST_SKIP() << "the test PulseAudio server is not running";
    PulseAudioCatalog catalog;
    const auto state = catalog.query();
    ASSERT_TRUE(state);
    EXPECT_TRUE(std::any_of(state->sources.begin(), state->sources.end(),
        [](const auto& source) { return source.name == QLatin1String("olvennar_system.monitor"); }));
    EXPECT_EQ(state->defaultSink, QStringLiteral("olvennar_system"));
    const auto microphones = DeviceDiscovery::microphones(catalog);
    ASSERT_EQ(microphones.size(), 1u); // the default input, remapped over a sink's monitor; no monitor itself
    EXPECT_EQ(microphones[0].name, QStringLiteral("olvennar_desk_mic"));
    EXPECT_EQ(DeviceDiscovery::microphoneRank(microphones[0]), 2);
}

TEST(DeviceDiscoveryIntegration, videoListingNeverFailsWithoutCameras)
{
    EXPECT_NO_THROW(V4L2DeviceCatalog().devices());
    EXPECT_FALSE(V4L2DeviceCatalog::probe(QStringLiteral("/dev/null")));
    EXPECT_FALSE(V4L2DeviceCatalog::probe(QStringLiteral("/nonexistent/video9")));
}
