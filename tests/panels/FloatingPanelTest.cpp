// The teleprompter's panel and the camera-spot panel are the same kind of floating window: they float above
// everything without the focus, and only a drag by the user counts as the user's move; only the teleprompter
// resizes at its edges.
#include "support/TestEnvironment.h"
#include "teleprompter/TeleprompterModel.h"
#include "views/teleprompter/CameraSpotPanel.h"
#include "views/teleprompter/TeleprompterPanel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

// A press at `local`, one move by `delta` and a release, delivered to the panel itself.
void dragBy(QWidget& panel, QPoint local, QPoint delta)
{
    const QPoint from = panel.mapToGlobal(local);
    const QPoint to = from + delta;
    QMouseEvent press(QEvent::MouseButtonPress, local, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &press);
    QMouseEvent move(QEvent::MouseMove, local + delta, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, local + delta, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &release);
}

class FloatingPanelTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        model = std::make_unique<TeleprompterModel>(*settings);
    }
    std::unique_ptr<TeleprompterModel> model;
};

TEST_F(FloatingPanelTest, BothPanelsFloatAboveEverythingWithoutTakingTheFocus)
{
    TeleprompterPanel prompter(*model);
    CameraSpotPanel spot(*model);
    const Qt::WindowFlags floating = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
        | Qt::X11BypassWindowManagerHint;
    for (QWidget* panel : {static_cast<QWidget*>(&prompter), static_cast<QWidget*>(&spot)}) {
        EXPECT_EQ(panel->windowFlags() & floating, floating) << panel->windowTitle().toStdString();
        EXPECT_TRUE(panel->testAttribute(Qt::WA_TranslucentBackground));
        EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    }
    EXPECT_EQ(prompter.windowTitle(), QStringLiteral("Teleprompter"));
    EXPECT_EQ(spot.windowTitle(), QStringLiteral("Camera spot"));
}

TEST_F(FloatingPanelTest, AnEdgeDragResizesTheTeleprompterButMovesTheCameraSpot)
{
    TeleprompterPanel prompter(*model);
    prompter.place(QRect(100, 100, 600, 240));
    prompter.show();
    CameraSpotPanel spot(*model);
    spot.move(100, 400);
    spot.show();
    TestEnvironment::waitUntil([&] { return prompter.isVisible() && spot.isVisible(); }, 1000);
    int prompterMoves = 0, spotMoves = 0;
    QObject::connect(&prompter, &FloatingPanel::movedByUser, [&] { ++prompterMoves; });
    QObject::connect(&spot, &CameraSpotPanel::movedByUser, [&] { ++spotMoves; });

    const QRect prompterBefore = prompter.geometry();
    dragBy(prompter, QPoint(prompterBefore.width() - 2, prompterBefore.height() / 2), QPoint(40, 0));
    EXPECT_EQ(prompter.width(), prompterBefore.width() + 40);
    EXPECT_EQ(prompter.pos(), prompterBefore.topLeft());

    const QRect spotBefore = spot.geometry();
    dragBy(spot, QPoint(spotBefore.width() - 2, 10), QPoint(40, 0));
    EXPECT_EQ(spot.size(), spotBefore.size());
    EXPECT_EQ(spot.pos(), spotBefore.topLeft() + QPoint(40, 0));

    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return prompterMoves > 0 && spotMoves > 0; }, 2000));
}

TEST_F(FloatingPanelTest, APlacementByTheProgramIsNotTheUsersMove)
{
    TeleprompterPanel prompter(*model);
    prompter.place(QRect(100, 100, 600, 240));
    prompter.show();
    TestEnvironment::waitUntil([&] { return prompter.isVisible(); }, 1000);
    // A press that moved nothing, then the program's own placement.
    dragBy(prompter, QPoint(300, 120), QPoint(0, 0));
    int moves = 0;
    QObject::connect(&prompter, &FloatingPanel::movedByUser, [&] { ++moves; });
    prompter.place(QRect(160, 140, 640, 260));
    TestEnvironment::waitUntil([&] { return prompter.geometry() == QRect(160, 140, 640, 260) && moves > 0; }, 500);
    EXPECT_EQ(prompter.geometry(), QRect(160, 140, 640, 260));
    EXPECT_EQ(moves, 0);
}

} // namespace
