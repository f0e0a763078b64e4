#include "SettledView.h"
#include "platform/image/PictureSize.h"
#include "support/TestEnvironment.h"
#include "teleprompter/PrompterPlacement.h"
#include "teleprompter/RectNotation.h"
#include "teleprompter/TeleprompterModel.h"
#include "views/teleprompter/FollowPage.h"
#include "views/teleprompter/TeleprompterView.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QString fontSizeKey = QStringLiteral("prompterFontSize");

const QString script = QStringLiteral(
    "Welcome back to the studio. Today we look at how a take becomes a finished movie.\n\n"
    "First the camera and the screen are recorded side by side, each with its own clock.");

// Wild values a hand-edited or damaged settings file may hold under any key.
const QStringList wildTexts{QStringLiteral("1e308"), QStringLiteral("-1e308"), QStringLiteral("nan"), QStringLiteral("inf"),
    QStringLiteral("-inf"), QStringLiteral("-5"), QStringLiteral("true"), QString(100000, QLatin1Char('9')), QString(100000, QLatin1Char('x'))};

class StoredPrompterValuesTest : public SandboxTest {
protected:
    // The follow page as it first draws a script with the settings as stored.
    QImage drawFollowPage(QSize size = {780, 300})
    {
        model = std::make_unique<TeleprompterModel>(*settings);
        view = std::make_unique<TeleprompterView>(*model);
        view->resize(size);
        model->setMode(PrompterMode::follow);
        model->setText(script);
        return settledPicture(*view);
    }
    std::unique_ptr<TeleprompterModel> model;
    std::unique_ptr<TeleprompterView> view;
};

TEST_F(StoredPrompterValuesTest, AStoredSizeNoPageCanDrawReadsAsTheLargestShownSize)
{
    const double largest = TeleprompterModel::largestDrawableFontSize;
    const struct {
        QString stored;
        double read;
    } rows[] = {
        {QStringLiteral("18"), 18},
        {QStringLiteral("5000"), 5000},
        {QString::number(largest, 'g', 17), largest},
        {QString::number(largest + 1, 'g', 17), 200},
        {QStringLiteral("100000"), 200},
        {QStringLiteral("1000000000"), 200},
        {QStringLiteral("2147483647"), 200},
        {QStringLiteral("1e308"), 200},
        {QStringLiteral("-1e308"), 32},
        {QStringLiteral("inf"), 32},
        {QString(100000, QLatin1Char('9')), 32}, // too long to be a number
    };
    for (const auto& row : rows) {
        settings->setString(fontSizeKey, row.stored);
        EXPECT_EQ(TeleprompterModel(*settings).fontSize(), row.read) << row.stored.left(20).toStdString();
    }
    TeleprompterModel model(*settings);
    model.setFontSize(1e9);
    EXPECT_EQ(model.fontSize(), 200) << "a size set is kept by the same rule";
    EXPECT_EQ(settings->doubleValue(fontSizeKey), 200.0);
}

TEST_F(StoredPrompterValuesTest, TheFollowPageDrawsItsFirstSpokenCardAtEveryStoredSize)
{
    for (const char* stored : {"1000000000", "100000", "20000", "2000"}) {
        SCOPED_TRACE(stored);
        settings->setString(fontSizeKey, QString::fromLatin1(stored));
        drawFollowPage();
        EXPECT_GE(view->followPage().cardRenders(), 1) << "the page went on to its cards";
    }
    // A size no page can draw shows as the size it reads as.
    settings->setString(fontSizeKey, QStringLiteral("1000000000"));
    const QImage wild = drawFollowPage();
    settings->setString(fontSizeKey, QStringLiteral("200"));
    EXPECT_EQ(wild, drawFollowPage());
}

TEST_F(StoredPrompterValuesTest, APageOnAPanelOfTheLargestSizeDrawsNothingItCannotHold)
{
    TeleprompterModel model(*settings);
    model.setMode(PrompterMode::follow);
    model.setText(script);
    FollowPage page;
    QImage small(40, 40, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&small);
    // The column's own picture would be 32767 × 32721: beyond what one picture may hold.
    page.paint(painter, QSizeF(PrompterPlacement::largestCoordinate, PrompterPlacement::largestCoordinate), model, 0);
    EXPECT_EQ(page.cardRenders(), 0);
    page.paint(painter, QSizeF(780, 300), model, 0);
    EXPECT_GE(page.cardRenders(), 1) << "the same page at a size it can hold draws its cards";
}

TEST(PictureSizeTest, OnlyWholeSizesWithinTheBudgetAreMade)
{
    const struct {
        double width, height;
        bool fits;
    } rows[] = {
        {780, 300, true}, {0.5, 0.5, true}, {8192, 8192, true}, {8192, 8193, false}, {0, 300, false}, {-1, 300, false},
        {NAN, 300, false}, {INFINITY, 300, false}, {1e300, 1e300, false}, {3e9, 1, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PictureSize::fits(row.width, row.height), row.fits) << row.width << " × " << row.height;
        EXPECT_EQ(PictureSize::image(row.width, row.height).isNull(), !row.fits) << row.width << " × " << row.height;
    }
    EXPECT_TRUE(PictureSize::fits(16384, 16384, 1)) << "one byte a pixel holds four times the pixels";
}

TEST(PrompterPlacementTest, WildStoredFramesSizesAndSpotsGiveAFrameTheWindowSystemTakes)
{
    const double far = PrompterPlacement::largestCoordinate;
    for (const QString& text : wildTexts + QStringList{QStringLiteral("{{1e300, -1e300}, {1e300, 1e300}}"),
                                   QStringLiteral("{1e300, 1e300}"), QStringLiteral("{-1e300, 1e300}"), QStringLiteral("{{0, 0}, {-900, -900}}")}) {
        for (const PrompterPosition position : {PrompterPosition::topCenter, PrompterPosition::custom, PrompterPosition::camera}) {
            PrompterPlacement::Input input;
            input.screen = {QRectF(0, 0, 1440, 900), QRectF(0, 0, 1440, 875)};
            input.position = position;
            input.fontSize = TeleprompterModel::largestDrawableFontSize;
            input.storedFrame = RectNotation::rect(text);
            input.storedSize = RectNotation::size(text);
            input.cameraSpot = PrompterPlacement::spotPoint(input.screen.frame, RectNotation::point(text));
            const QRectF frame = PrompterPlacement::withinWindowSystem(PrompterPlacement::toWindowSystem(PrompterPlacement::frame(input), 900));
            const std::string what = text.left(40).toStdString() + " at " + std::to_string(static_cast<int>(position));
            EXPECT_TRUE(frame.x() >= -far && frame.x() <= far && frame.y() >= -far && frame.y() <= far) << what;
            EXPECT_TRUE(frame.width() >= 1 && frame.width() <= far && frame.height() >= 1 && frame.height() <= far) << what;
        }
    }
    const QRectF kept = PrompterPlacement::withinWindowSystem(QRectF(-200, 40, 780, 300));
    EXPECT_EQ(kept, QRectF(-200, 40, 780, 300)) << "a frame the window system takes is kept";
    EXPECT_EQ(PrompterPlacement::withinWindowSystem(QRectF(NAN, INFINITY, NAN, -INFINITY)), QRectF(0, far, 1, 1));
}

} // namespace
