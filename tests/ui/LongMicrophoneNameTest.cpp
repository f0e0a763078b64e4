#include "WindowTest.h"

#include "ui/WarningRow.h"

#include <QScrollArea>

namespace {

// A sound server names a device as it likes; some names have no space to wrap at.
class LongMicrophoneNameTest : public WindowTest {
protected:
    // Whether the widget of that name lies between the window's left and right edges (the settings scroll
    // up and down, never sideways).
    bool inside(const QString& name) const
    {
        const QWidget* widget = find(name);
        if (!widget || !widget->isVisibleTo(view.get()))
            return false;
        const int left = widget->mapTo(view.get(), QPoint()).x();
        return left >= 0 && left + widget->width() <= view->width();
    }
    // What the warning row of that name shows, and its tooltip.
    std::pair<QString, QString> shownWarning(const QString& name) const
    {
        const auto* row = find<WarningRow>(name);
        for (const QLabel* label : row->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                return {label->text(), label->toolTip()};
        }
        return {};
    }
    void expectTheWindowKeepsItsWidth(CaptureMode mode)
    {
        EXPECT_EQ(view->width(), ContentView::contentWidth);
        EXPECT_LE(view->sizeHint().width(), ContentView::contentWidth);
        const QScrollArea* scroll = view->scrollArea();
        EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width()) << "nothing hides past the right edge";
        EXPECT_TRUE(inside(QStringLiteral("captureModePicker")));
        EXPECT_TRUE(inside(QStringLiteral("microphonePicker")));
        EXPECT_TRUE(inside(mode == CaptureMode::screen ? QStringLiteral("screenQualityPicker")
                : mode == CaptureMode::voice          ? QStringLiteral("voiceOnlySection")
                                                      : QStringLiteral("cameraAudioControls")));
    }

    const QString unbroken = QStringLiteral("alsa_input.usb-Wireless_Receiver_With_A_Very_Long_Name_0123456789ABCDEF_0123456789ABCDEF-00.analog-stereo");
    const QString spaced = QStringLiteral("Wireless receiver with a very long name that a vendor gave it, second generation, analog stereo");
    const std::vector<CaptureMode> modes{CaptureMode::screen, CaptureMode::voice, CaptureMode::cameraOnly};
};

TEST_F(LongMicrophoneNameTest, TheMissingReceiverWarningAndTheInputRowKeepTheWindowsWidthAndItsButtons)
{
    for (const QString& name : {unbroken, spaced}) {
        SCOPED_TRACE(name.toStdString());
        controller->setMicrophones({device(QStringLiteral("mic"), name)});
        controller->setSelectedMicrophoneID(QStringLiteral("mic"));
        for (CaptureMode mode : modes) {
            SCOPED_TRACE(CaptureModes::rawText(mode).toStdString());
            controller->setCaptureMode(mode);
            settle();
            ASSERT_TRUE(shows(QStringLiteral("microphoneWarning")));
            EXPECT_EQ(find<WarningRow>(QStringLiteral("microphoneWarning"))->text(),
                QStringLiteral("Wireless Mic Rx is not plugged in. Recording through ") + name
                    + QStringLiteral(". Plug the receiver into the computer, it is picked automatically."));
            EXPECT_EQ(text(QStringLiteral("inputName")), name);
            expectTheWindowKeepsItsWidth(mode);
            EXPECT_TRUE(inside(QStringLiteral("microphoneWarning")));
            EXPECT_TRUE(inside(QStringLiteral("inputName")));
        }
    }
    // The name without a space to wrap at is shortened in its middle, both ends kept, the whole one told on
    // hovering.
    controller->setMicrophones({device(QStringLiteral("mic"), unbroken)});
    settle();
    const auto [shown, tip] = shownWarning(QStringLiteral("microphoneWarning"));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Wireless Mic Rx is not plugged in. Recording through alsa_input"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)) && shown.contains(QStringLiteral("analog-stereo. Plug the receiver"))) << shown.toStdString();
    EXPECT_TRUE(tip.contains(unbroken)) << tip.toStdString();
    const auto* input = find<ElidedLabel>(QStringLiteral("inputName"));
    ASSERT_NE(input, nullptr);
    const QString inputShown = input->shownText();
    EXPECT_TRUE(inputShown.startsWith(QStringLiteral("alsa_input")) && inputShown.endsWith(QStringLiteral("stereo"))) << inputShown.toStdString();
    // A name that fits is shown whole, with no tooltip.
    controller->setMicrophones({device(QStringLiteral("mic"), QStringLiteral("Desk mic"))});
    settle();
    EXPECT_EQ(shownWarning(QStringLiteral("microphoneWarning")),
        std::make_pair(QStringLiteral("Wireless Mic Rx is not plugged in. Recording through Desk mic. Plug the receiver into the computer, it "
                                      "is picked automatically."),
            QString()));
}

TEST_F(LongMicrophoneNameTest, TheBetterMicrophoneWarningAndNoticeKeepTheWindowsWidth)
{
    // The receiver is plugged in, but a worse microphone is chosen.
    const QString receiver = unbroken + QStringLiteral("_receiver");
    settings->setString(RecordingController::Keys::preferredMicName(), receiver);
    controller->setMicrophones({device(QStringLiteral("worse"), unbroken, 1), device(QStringLiteral("better"), receiver, 3)});
    controller->setCaptureMicrophone(true);
    for (CaptureMode mode : modes) {
        SCOPED_TRACE(CaptureModes::rawText(mode).toStdString());
        controller->setCaptureMode(mode);
        controller->setSelectedMicrophoneID(QStringLiteral("worse")); // each mode keeps its own
        settle();
        ASSERT_TRUE(controller->usingWorseMicrophoneThanAvailable());
        ASSERT_TRUE(shows(QStringLiteral("microphoneWarning")));
        EXPECT_EQ(find<WarningRow>(QStringLiteral("microphoneWarning"))->text(), QStringLiteral("Recording through ") + unbroken
                + QStringLiteral(". ") + receiver + QStringLiteral(" is attached and is better — switch Input above. Bluetooth mics drop to ~16 kHz mono when recording."));
        expectTheWindowKeepsItsWidth(mode);
        EXPECT_TRUE(inside(QStringLiteral("microphoneWarning")));
        EXPECT_TRUE(inside(QStringLiteral("microphoneNotice")));
    }
}

} // namespace
