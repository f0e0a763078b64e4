#include "support/TestEnvironment.h"
#include "teleprompter/TeleprompterModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace {

class TeleprompterModelTest : public SandboxTest {
protected:
    std::unique_ptr<TeleprompterModel> fresh() { return std::make_unique<TeleprompterModel>(*settings); }
    void countCallbacks(TeleprompterModel& model)
    {
        model.positionChanged = [this] { ++positionCalls; };
        model.speechSettingsChanged = [this] { ++speechCalls; };
    }
    int positionCalls = 0;
    int speechCalls = 0;
};

TEST_F(TeleprompterModelTest, StoredSettingsReadWithTheirFloorsAndFallbacks)
{
    struct Row {
        const char* key;
        std::optional<QString> stored;
        std::function<bool(const TeleprompterModel&)> holds;
        const char* what;
    };
    const std::vector<Row> rows{
        {"prompterFontSize", std::nullopt, [](auto& m) { return m.fontSize() == 32; }, "absent size: 32"},
        {"prompterFontSize", QStringLiteral("17.9"), [](auto& m) { return m.fontSize() == 32; }, "17.9: 32"},
        {"prompterFontSize", QStringLiteral("18"), [](auto& m) { return m.fontSize() == 18; }, "18: 18"},
        {"prompterFontSize", QStringLiteral("80"), [](auto& m) { return m.fontSize() == 80; }, "80 is accepted"},
        {"prompterFontSize", QStringLiteral("250"), [](auto& m) { return m.fontSize() == 250; }, "250: only the floor is enforced"},
        {"prompterFontSize", QStringLiteral("2147483647"), [](auto& m) { return m.fontSize() == 200; }, "no page can draw it: 200"},
        {"prompterFontSize", QStringLiteral("nan"), [](auto& m) { return m.fontSize() == 32; }, "not finite: 32"},
        {"prompterFontSize", QStringLiteral("inf"), [](auto& m) { return m.fontSize() == 32; }, "infinite: 32"},
        {"prompterFontSize", QStringLiteral("1e300"), [](auto& m) { return m.fontSize() == 200; }, "huge: clamped to 200"},
        {"prompterMode", QStringLiteral("Auto"), [](auto& m) { return m.mode() == PrompterMode::follow; }, "Auto: follow"},
        {"prompterMode", QStringLiteral("auto"), [](auto& m) { return m.mode() == PrompterMode::auto_; }, "auto: auto"},
        {"prompterBgOpacity", QStringLiteral("0"), [](auto& m) { return m.bgOpacity() == 0; }, "0 stored wins"},
        {"prompterBgOpacity", QStringLiteral("-1"), [](auto& m) { return m.bgOpacity() == 0; }, "-1: 0"},
        {"prompterBgOpacity", QStringLiteral("3"), [](auto& m) { return m.bgOpacity() == 1; }, "3: 1"},
        {"prompterBgOpacity", std::nullopt, [](auto& m) { return m.bgOpacity() == 0.55; }, "absent: 0.55"},
        {"prompterPosition", QStringLiteral("CAMERA"), [](auto& m) { return m.position() == PrompterPosition::topCenter; }, "CAMERA: topCenter"},
        {"prompterPosition", QStringLiteral("camera"), [](auto& m) { return m.position() == PrompterPosition::camera; }, "camera"},
        {"prompterCameraSide", QStringLiteral("Left"), [](auto& m) { return m.cameraSide() == CameraSide::under; }, "Left: under"},
        {"prompterCameraSide", QStringLiteral("right"), [](auto& m) { return m.cameraSide() == CameraSide::right; }, "right"},
        {"prompterTheme", std::nullopt, [](auto& m) { return m.theme() == u"light"; }, "absent theme: light"},
    };
    for (const Row& row : rows) {
        settings->remove(QString::fromLatin1(row.key));
        if (row.stored)
            settings->setString(QString::fromLatin1(row.key), *row.stored);
        EXPECT_TRUE(row.holds(*fresh())) << row.what;
        settings->remove(QString::fromLatin1(row.key));
    }
}

TEST_F(TeleprompterModelTest, ObserversStoreAndCallBackOnlyOnChange)
{
    auto model = fresh();
    countCallbacks(*model);

    model->setText(QStringLiteral("Hello there."));
    const int revision = model->revision();
    EXPECT_EQ(speechCalls, 1);
    model->setText(QStringLiteral("Hello there."));
    EXPECT_EQ(model->revision(), revision) << "the same text does not reload";
    EXPECT_EQ(speechCalls, 1);

    model->setMode(PrompterMode::auto_);
    EXPECT_EQ(speechCalls, 2);
    model->setScrolling(true);
    model->setMode(PrompterMode::auto_);
    EXPECT_TRUE(model->isScrolling()) << "the same mode keeps the scroll running";
    EXPECT_EQ(speechCalls, 2);
    EXPECT_EQ(settings->stringValue(QStringLiteral("prompterMode")), QStringLiteral("auto"));

    model->setCameraSide(CameraSide::left);
    EXPECT_EQ(positionCalls, 1) << "a new side re-places whatever the position";
    model->setPosition(PrompterPosition::left);
    EXPECT_EQ(positionCalls, 2);
    model->setFontSize(40);
    EXPECT_EQ(positionCalls, 2) << "the size matters only at the camera";
    EXPECT_EQ(settings->doubleValue(QStringLiteral("prompterFontSize")), 40.0);
    model->skipPositionCallback = true;
    model->setPosition(PrompterPosition::camera);
    model->skipPositionCallback = false;
    EXPECT_EQ(positionCalls, 2);
    model->setFontSize(41);
    EXPECT_EQ(positionCalls, 3);
    model->setBgOpacity(1.7);
    EXPECT_EQ(settings->doubleValue(QStringLiteral("prompterBgOpacity")), 1.7) << "written without clamping";
}

TEST_F(TeleprompterModelTest, ScrollBoundsAndBoxSteps)
{
    auto model = fresh();
    model->setMode(PrompterMode::auto_);
    model->setContentHeight(1000);
    model->scroll(-1000);
    EXPECT_EQ(model->offset(), -300);
    model->scroll(500);
    model->setScrolling(true);
    model->stepBox(-1);
    EXPECT_EQ(model->offset(), 200 - 128) << "four text sizes back";
    EXPECT_FALSE(model->isScrolling());
    model->scroll(5000);
    EXPECT_EQ(model->offset(), 960);
    model->stepBox(1);
    EXPECT_EQ(model->offset(), 960) << "the end holds";
    model->setScrolling(true);
    model->autoAdvance(-20);
    EXPECT_TRUE(model->isScrolling()) << "the tick leaves the scroll running";
    model->hear(QStringLiteral("anything"));
    EXPECT_EQ(model->offset(), 940);
}

TEST_F(TeleprompterModelTest, AShorterColumnPullsTheOffsetBackOntoThePage)
{
    auto model = fresh();
    model->setContentHeight(5000);
    model->scroll(4000);
    ASSERT_EQ(model->offset(), 4000);
    // A shorter script, a narrower panel or a smaller font: the page would be blank past the column's end.
    model->setContentHeight(600);
    EXPECT_EQ(model->offset(), 560);
    model->setContentHeight(20);
    EXPECT_EQ(model->offset(), 0);
    model->scroll(-120);
    model->setContentHeight(3000);
    EXPECT_EQ(model->offset(), -120) << "an overscroll before the start stays";
}

TEST_F(TeleprompterModelTest, FollowModeStepsAndRestartsTheCards)
{
    auto model = fresh();
    model->setMode(PrompterMode::follow);
    model->setText(QStringLiteral("First card has words.\n\nSecond card follows here.\n\nThird one ends it."));
    ASSERT_GE(model->follower().boxes().size(), 2u);
    const int revision = model->revision();
    model->stepBox(1);
    EXPECT_EQ(model->follower().focus(), 1);
    EXPECT_EQ(model->revision(), revision + 1);
    model->restart();
    EXPECT_EQ(model->follower().focus(), 0);
    EXPECT_EQ(model->follower().cursor(), 0);
    EXPECT_EQ(model->revision(), revision + 2);
}

} // namespace
