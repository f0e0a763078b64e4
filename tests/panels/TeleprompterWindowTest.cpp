#include "support/FakeVoiceFollowSwitch.h"
#include "support/TestEnvironment.h"
#include "teleprompter/DesktopPoints.h"
#include "teleprompter/RectNotation.h"
#include "ui/XPointer.h"
#include "views/teleprompter/CameraSpotMarker.h"
#include "views/teleprompter/CameraSpotPanel.h"
#include "views/teleprompter/TeleprompterPanel.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

// A press on `from`, a move in steps to `to` and a release, as a hand on the mouse would do it.
void drag(QPoint from, QPoint to)
{
    XPointer::xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(from.x()), QString::number(from.y())});
    XPointer::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    for (int step = 1; step <= 5; ++step) {
        const QPoint at = from + (to - from) * step / 5;
        XPointer::xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()), QString::number(at.y())});
        TestEnvironment::waitUntil([] { return false; }, 30);
    }
    XPointer::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

bool onDisplay() { return QGuiApplication::platformName() == u"xcb"; }

class TeleprompterWindowTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        window = std::make_unique<TeleprompterWindow>(*settings, &speech);
    }
    void TearDown() override
    {
        window.reset();
        SandboxTest::TearDown();
    }
    QRectF desktopFrame() const
    {
        return PrompterPlacement::fromWindowSystem(QRectF(window->panel()->geometry()), DesktopPoints::primaryHeight());
    }
    FakeVoiceFollowSwitch speech;
    std::unique_ptr<TeleprompterWindow> window;
};

TEST_F(TeleprompterWindowTest, ShowPlacesOnceWritesNoKeyAndHideSwitchesSpeechOff)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    window->model().setText(QStringLiteral("Say hello to the camera."));
    window->model().setMode(PrompterMode::follow);
    EXPECT_EQ(speech.last->wanted, false) << "hidden: no recognition";

    window->show(screen);
    ASSERT_TRUE(window->isShown());
    ASSERT_TRUE(speech.last);
    EXPECT_TRUE(speech.last->wanted);
    EXPECT_TRUE(speech.last->words.contains(QStringLiteral("camera")));
    EXPECT_EQ(speech.last->scriptText, QStringLiteral("Say hello to the camera."));
    speech.status(QStringLiteral("Listening (on this computer)"));
    EXPECT_EQ(window->model().speechStatus(), QStringLiteral("Listening (on this computer)"));

    const QRectF expected = PrompterPlacement::frame(window->placementInput(DesktopPoints::screen(*screen)));
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_EQ(desktopFrame(), expected);
    EXPECT_FALSE(settings->contains(QStringLiteral("prompterFrame"))) << "a program placement writes no key";
    EXPECT_FALSE(settings->contains(QStringLiteral("prompterSize")));

    TeleprompterPanel* first = window->panel();
    window->show(screen);
    EXPECT_EQ(window->panel(), first) << "a second show does nothing";

    window->model().setPosition(PrompterPosition::left);
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_FALSE(settings->contains(QStringLiteral("prompterFrame")));
    EXPECT_EQ(window->model().position(), PrompterPosition::left) << "late move reports of a placement are not the user's";

    window->model().setMode(PrompterMode::auto_);
    EXPECT_FALSE(speech.last->wanted) << "auto mode: off";
    EXPECT_EQ(window->model().speechStatus(), QString());
    window->model().setMode(PrompterMode::follow);
    EXPECT_TRUE(speech.last->wanted);

    window->hide();
    EXPECT_FALSE(window->isShown());
    EXPECT_FALSE(speech.last->wanted);
    EXPECT_EQ(window->model().speechStatus(), QString());
}

TEST_F(TeleprompterWindowTest, ADragByTheUserIsRememberedAsTheFreePosition)
{
    if (!onDisplay())
        GTEST_SKIP() << "needs an X display";
    window->show(QGuiApplication::primaryScreen());
    TeleprompterPanel* panel = window->panel();
    ASSERT_TRUE(TestEnvironment::waitUntil([panel] { return panel->isVisible() && panel->geometry().width() == 780; }));
    const QRect before = panel->geometry();
    // The page's background near the top, away from the bars and the resize edges.
    const QPoint grip = before.topLeft() + QPoint(200, 60);
    drag(grip, grip + QPoint(-90, 140));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return settings->contains(QStringLiteral("prompterFrame")); }));
    TestEnvironment::waitUntil([] { return false; }, 300);
    const QRect after = panel->geometry();
    EXPECT_EQ(after.topLeft(), before.topLeft() + QPoint(-90, 140)) << "no jump back";
    EXPECT_EQ(window->model().position(), PrompterPosition::custom);
    EXPECT_EQ(RectNotation::rect(*settings->stringValue(QStringLiteral("prompterFrame"))), desktopFrame());
    EXPECT_EQ(RectNotation::size(*settings->stringValue(QStringLiteral("prompterSize"))), QSizeF(780, 300));

    // A resize at the right edge is remembered too, never below the minimum.
    const QPoint edge(after.right() - 2, after.top() + 100);
    drag(edge, edge + QPoint(-400, 0));
    ASSERT_TRUE(TestEnvironment::waitUntil([panel] { return panel->width() == 560; }));
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_EQ(RectNotation::size(*settings->stringValue(QStringLiteral("prompterSize"))), QSizeF(560, 300));
}

TEST_F(TeleprompterWindowTest, TheCameraSpotMarkerReportsOnlyTheUsersMovesAndClosesOnce)
{
    if (!onDisplay())
        GTEST_SKIP() << "needs an X display";
    window->show(QGuiApplication::primaryScreen());
    window->model().beginCameraSpot();
    CameraSpotMarker* marker = window->spotMarker();
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(window->model().position(), PrompterPosition::camera);
    std::vector<QPointF> reported;
    int done = 0;
    auto store = marker->onMove;
    marker->onMove = [&reported, store](QPointF point) {
        reported.push_back(point);
        store(point);
    };
    auto finish = marker->onDone;
    marker->onDone = [&done, finish] {
        ++done;
        finish();
    };
    CameraSpotPanel* panel = marker->panel();
    ASSERT_TRUE(TestEnvironment::waitUntil([panel] { return panel->isVisible(); }));
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_TRUE(reported.empty()) << "placing it at the start reports nothing";
    const QRectF frame = PrompterPlacement::fromWindowSystem(QRectF(panel->geometry()), DesktopPoints::primaryHeight());
    EXPECT_EQ(CameraSpotMarker::crossOf(frame), marker->start()) << "the cross covers the start";

    const QPoint grip = panel->geometry().topLeft() + QPoint(20, 20);
    drag(grip, grip + QPoint(10, 0));
    ASSERT_TRUE(TestEnvironment::waitUntil([&reported] { return !reported.empty(); }));
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_EQ(reported.back(), marker->start() + QPointF(10, 0)) << "a 10 pt drag reports a point 10 pt over";
    EXPECT_TRUE(settings->contains(QStringLiteral("prompterCameraSpot")));

    QPushButton* doneButton = panel->doneButton();
    doneButton->click();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(window->spotMarker(), nullptr);
    TestEnvironment::waitUntil([] { return false; }, 100);
    EXPECT_EQ(done, 1);

    window->model().beginCameraSpot();
    ASSERT_NE(window->spotMarker(), nullptr);
    window->hide();
    EXPECT_EQ(window->spotMarker(), nullptr) << "hide closes the marker";
}

TEST_F(TeleprompterWindowTest, TheCameraSpotInstructionIsReadableWholeInsideItsPanel)
{
    // Whatever font the desktop gives, the instruction keeps inside the 250 pt panel, never cut at its sides.
    const QFont original = QApplication::font();
    for (const char* family : {"DejaVu Sans", "Liberation Sans", "FreeSans", "Noto Sans"}) {
        SCOPED_TRACE(family);
        QFont wide(QString::fromLatin1(family));
        wide.setPixelSize(13);
        QApplication::setFont(wide);
        CameraSpotPanel panel(window->model());
        panel.show();
        TestEnvironment::waitUntil([] { return false; }, 50);
        QLabel* title = nullptr;
        for (QLabel* label : panel.findChildren<QLabel*>())
            if (label->text() == QStringLiteral("Drag the cross onto your camera lens"))
                title = label;
        ASSERT_NE(title, nullptr);
        const QRect inPanel(title->mapTo(&panel, QPoint(0, 0)), title->size());
        EXPECT_TRUE(panel.rect().contains(inPanel)) << inPanel.x() << "," << inPanel.width();
        if (!title->wordWrap()) {
            EXPECT_LE(QFontMetrics(title->font()).horizontalAdvance(title->text()), title->contentsRect().width()) << "one whole line";
        }
        EXPECT_GE(title->font().pixelSize(), 10);
        EXPECT_EQ(panel.size(), QSize(250, 156));
        panel.close();
    }
    QApplication::setFont(original);
}

} // namespace
