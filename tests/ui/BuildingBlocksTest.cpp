#include "WindowTest.h"

#include "core/QuitGuard.h"
#include "ui/ChannelChip.h"
#include "ui/MainWindow.h"
#include "ui/SectionSlot.h"
#include "ui/ThemeIcon.h"

#include <QLabel>

namespace {

class WindowLayoutTest : public WindowTest { };

TEST_F(WindowLayoutTest, mainWindowTakesItsSizeFromItsContent)
{
    QuitGuard guard;
    MainWindow window(*controller, guard);
    // A column short enough to be shown whole: "Voice only" without its section and the remote one.
    window.content()->slot(ContentView::Slot::voiceOnly)->setSection(nullptr);
    window.content()->slot(ContentView::Slot::remote)->setSection(nullptr);
    controller->setCaptureMode(CaptureMode::voice);
    window.show();
    settle();
    const int voice = window.height();
    EXPECT_EQ(window.width(), ContentView::contentWidth);

    // A notice appears: the window grows by it, the column keeps its width.
    controller->setMicPermission(Permissions::State::denied);
    settle();
    const int withNotice = window.height();
    EXPECT_GT(withNotice, voice);

    // "Screen" with every source open is taller than the limit: the settings scroll, the window stops growing.
    controller->setCaptureMode(CaptureMode::screen);
    controller->setCameraEnabled(true);
    controller->phone().setPhoneEnabled(true);
    settle();
    const int tall = window.height();
    controller->setMicrophones({device("a", "A", 1), device("b", "B", 2)});
    controller->setSelectedMicrophoneID(QStringLiteral("a"));
    settle();
    EXPECT_EQ(window.height(), tall);
    EXPECT_EQ(window.width(), ContentView::contentWidth);
}

TEST_F(WindowLayoutTest, wrappedTextsGetTheirWholeHeight)
{
    // Long texts in notices, warnings and the prompt, in both branches.
    controller->setMicrophones({device("bt", "A Bluetooth headset with a rather long name", 1), device("usb", "USB Mic", 3)});
    controller->setSelectedMicrophoneID(QStringLiteral("bt"));
    controller->setMicPermission(Permissions::State::denied);
    controller->setCaptureMode(CaptureMode::voice);
    controller->setPhase(RecordingPhase::failed(QStringLiteral("Could not write the finished file: the disk is full. ").repeated(4)));
    for (bool prompt : {false, true}) {
        controller->setCaptureMode(prompt ? CaptureMode::screen : CaptureMode::voice);
        controller->setHasScreenPermission(!prompt);
        settle();
        view->adjustSize();
        settle();
        int checked = 0;
        for (QLabel* label : view->findChildren<QLabel*>()) {
            if (!label->wordWrap() || !label->isVisibleTo(view.get()) || label->text().isEmpty())
                continue;
            ++checked;
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().left(40).toStdString();
        }
        EXPECT_GE(checked, prompt ? 2 : 4);
    }
}

TEST(ChannelChipTest, labelsAndColoursPerChannel)
{
    const QPalette palette;
    struct Row {
        RecordingChannel channel;
        const char* label;
        QColor text, capsule;
    };
    const std::vector<Row> rows{
        {RecordingChannel::dorvelTalk, "Dorvel Talk", QColor(0x22, 0x30, 0x5A), QColor(0xFB, 0xE2, 0x7A)},
        {RecordingChannel::branchline, "Branchline", QColor(0xB4, 0x55, 0x2D), QColor(0xEF, 0xE2, 0xD4)},
        {RecordingChannel::inkwell, "Inkwell Hour", QColor(0x54, 0x13, 0x08), QColor(0xF2, 0xED, 0xE2)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ChannelChip::label(row.channel), QString::fromLatin1(row.label));
        EXPECT_EQ(ChannelChip::textColor(row.channel, palette), row.text);
        EXPECT_EQ(ChannelChip::capsuleColor(row.channel, palette), row.capsule);
        EXPECT_EQ(ChannelChip::capsuleColor(row.channel, palette).alpha(), 255);
    }
    EXPECT_EQ(ChannelChip::label(RecordingChannel::ai), QStringLiteral("AI channel"));
    const QColor secondary = ChannelChip::textColor(RecordingChannel::ai, palette);
    const QColor capsule = ChannelChip::capsuleColor(RecordingChannel::ai, palette);
    EXPECT_EQ(capsule.rgb(), secondary.rgb());
    EXPECT_NEAR(capsule.alphaF(), secondary.alphaF() * 0.15, 0.01);

    // Never squeezed: its minimum is the whole label.
    ChannelChip chip(RecordingChannel::inkwell);
    EXPECT_EQ(chip.minimumSizeHint(), chip.sizeHint());
    EXPECT_GT(chip.sizeHint().width(), chip.fontMetrics().horizontalAdvance(QStringLiteral("Inkwell Hour")));
}

TEST(ThemeIconTest, aPaintedSymbolIsOneIconPerTintSoItsScaledPixmapsAreReused)
{
    // Rows and buttons ask for their icons on every refresh; a fresh icon each time would leave a new scaled
    // pixmap in the pixmap cache each time.
    const QIcon first = ThemeIcon::painted(QStringLiteral("trash.fill"), Qt::red);
    const QIcon again = ThemeIcon::painted(QStringLiteral("trash.fill"), Qt::red);
    EXPECT_EQ(first.cacheKey(), again.cacheKey());
    EXPECT_EQ(first.pixmap(14, 14).cacheKey(), again.pixmap(14, 14).cacheKey());
    const QIcon other = ThemeIcon::painted(QStringLiteral("trash.fill"), Qt::white);
    EXPECT_NE(other.cacheKey(), first.cacheKey());
    EXPECT_NE(other.pixmap(14, 14).toImage(), first.pixmap(14, 14).toImage()) << "the tint is kept apart";
    EXPECT_TRUE(ThemeIcon::painted(QStringLiteral("no.such.symbol"), Qt::red).isNull());
}

} // namespace
