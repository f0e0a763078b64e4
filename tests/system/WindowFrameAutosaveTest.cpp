#include "platform/system/WindowFrameAutosave.h"
#include "support/TestEnvironment.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <climits>

namespace {

class WindowFrameAutosaveTest : public SandboxTest { };

std::string shown(const std::optional<QRect>& frame)
{
    return frame ? QStringLiteral("%1 %2 %3 %4").arg(frame->x()).arg(frame->y()).arg(frame->width()).arg(frame->height()).toStdString()
                 : std::string("none");
}

std::string shown(const QWidget& window) { return shown(QRect(window.pos(), window.size())); }

TEST_F(WindowFrameAutosaveTest, OnlyFramesWithinTheWindowSystemsCoordinatesAreRead)
{
    const QString intMin = QString::number(INT_MIN);
    const QString intMax = QString::number(INT_MAX);
    struct Case {
        QString text;
        std::optional<QRect> frame;
    };
    const std::vector<Case> cases{
        {QStringLiteral("10 20 400 300"), QRect(10, 20, 400, 300)},
        {QStringLiteral("-32767 32767 32767 32767"), QRect(-32767, 32767, 32767, 32767)},
        {QStringLiteral("32767 -32767 1 1"), QRect(32767, -32767, 1, 1)},
        {QStringLiteral("-32768 0 400 300"), std::nullopt},
        {QStringLiteral("32768 0 400 300"), std::nullopt},
        {QStringLiteral("0 -32768 400 300"), std::nullopt},
        {QStringLiteral("0 0 32768 300"), std::nullopt},
        {QStringLiteral("0 0 400 -32768"), std::nullopt},
        {intMin + QStringLiteral(" 0 400 300"), std::nullopt},
        {QStringLiteral("0 ") + intMin + QStringLiteral(" 400 300"), std::nullopt},
        {QStringLiteral("0 0 ") + intMin + QStringLiteral(" 300"), std::nullopt},
        {QStringLiteral("0 0 400 ") + intMin, std::nullopt},
        {intMax + QStringLiteral(" 0 400 300"), std::nullopt},
        {QStringLiteral("0 ") + intMax + QStringLiteral(" 400 300"), std::nullopt},
        {QStringLiteral("2147483648 0 400 300"), std::nullopt},
        {QStringLiteral("0 0 400"), std::nullopt},
        {QStringLiteral("0 0 400 300 7"), std::nullopt},
        {QStringLiteral("0 x 400 300"), std::nullopt},
        {QString(), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shown(WindowFrameAutosave::storedFrame(c.text)), shown(c.frame)) << c.text.toStdString();
}

TEST_F(WindowFrameAutosaveTest, AFrameOffEveryScreenKeepsTheCentredFrame)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    for (const QString& stored : {QString::number(INT_MIN) + QStringLiteral(" 0 300 200"), QStringLiteral("0 ") + QString::number(INT_MIN)
             + QStringLiteral(" 300 200"), QStringLiteral("-32768 0 300 200")}) {
        SCOPED_TRACE(stored.toStdString());
        QWidget window;
        window.resize(300, 200);
        settings->setString(WindowFrameAutosave::settingsKey(QStringLiteral("Test")), stored);
        new WindowFrameAutosave(window, *settings, QStringLiteral("Test"));
        QRect centred(QPoint(), window.size());
        centred.moveCenter(screen->availableGeometry().center());
        EXPECT_EQ(shown(window), shown(centred));
    }
    // A frame on the screen is taken.
    QWidget window;
    window.resize(300, 200);
    settings->setString(WindowFrameAutosave::settingsKey(QStringLiteral("Test")), QStringLiteral("5 6 320 210"));
    new WindowFrameAutosave(window, *settings, QStringLiteral("Test"));
    EXPECT_EQ(shown(window), "5 6 320 210");
}

} // namespace
