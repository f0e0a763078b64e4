#include "WindowTest.h"

#include "ui/TeleprompterToggle.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

class TeleprompterToggleTest : public WindowTest {
protected:
    bool showing = false;
    QList<QScreen*> shownOn;
    TeleprompterToggle::Panel panel{[this] { return showing; },
        [this](QScreen* screen) {
            shownOn << screen;
            showing = true;
        },
        [this] { showing = false; }};
};

TEST_F(TeleprompterToggleTest, twoPressesShowThenHideAndTheFlagFollowsThePanel)
{
    ASSERT_FALSE(QGuiApplication::screens().isEmpty());
    TeleprompterToggle::press(*controller, panel);
    EXPECT_TRUE(showing);
    EXPECT_TRUE(controller->teleprompterVisible());
    ASSERT_EQ(shownOn.size(), 1);
    EXPECT_EQ(shownOn[0], QGuiApplication::primaryScreen()) << "no display chosen: the main screen";
    TeleprompterToggle::press(*controller, panel);
    EXPECT_FALSE(showing);
    EXPECT_FALSE(controller->teleprompterVisible());

    // A flag that drifted from the panel is put right: the panel shows, so the press hides it.
    showing = true;
    controller->setTeleprompterVisible(false);
    TeleprompterToggle::press(*controller, panel);
    EXPECT_FALSE(showing);
    EXPECT_FALSE(controller->teleprompterVisible());
    // A panel that refuses to show leaves the flag off.
    panel.show = [](QScreen*) {};
    TeleprompterToggle::press(*controller, panel);
    EXPECT_FALSE(controller->teleprompterVisible());
}

TEST(TeleprompterScreenTest, theSelectedDisplaysScreenElseTheMainOne)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_FALSE(screens.isEmpty());
    QScreen* main = QGuiApplication::primaryScreen();
    EXPECT_EQ(TeleprompterToggle::screenFor(screens.last()->geometry(), screens, main), screens.last());
    EXPECT_EQ(TeleprompterToggle::screenFor(QRect(-5000, -5000, 10, 10), screens, main), main) << "a display that is gone";
    EXPECT_EQ(TeleprompterToggle::screenFor(QRect(), {}, nullptr), nullptr);
}

} // namespace

#include "ui/SectionSlot.h"
#include "ui/TeleprompterSection.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QPushButton>

namespace {

TEST_F(TeleprompterToggleTest, theSectionsSwitchShowsThenHidesTheRealPanel)
{
    TeleprompterWindow teleprompter(*settings, nullptr);
    view->placeTeleprompter(teleprompter);
    controller->setCaptureMode(CaptureMode::voice);
    settle();
    auto* section = view->findChild<TeleprompterSection*>();
    ASSERT_NE(section, nullptr);
    EXPECT_TRUE(view->slot(ContentView::Slot::teleprompter)->isVisibleTo(view.get()));
    section->toggleButton()->click();
    settle();
    EXPECT_TRUE(teleprompter.isShown());
    EXPECT_TRUE(controller->teleprompterVisible());
    section->toggleButton()->click();
    settle();
    EXPECT_FALSE(teleprompter.isShown());
    EXPECT_FALSE(controller->teleprompterVisible());
}

} // namespace
