#include "SettledView.h"
#include "platform/system/Edition.h"
#include "support/TestEnvironment.h"
#include "teleprompter/PrompterMenus.h"
#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/TeleprompterPalette.h"
#include "views/teleprompter/AutoPageColumn.h"
#include "views/teleprompter/FollowPage.h"
#include "views/teleprompter/PrompterBar.h"
#include "views/teleprompter/TeleprompterView.h"

#include <QAction>
#include <QApplication>
#include <QWheelEvent>
#include <QDir>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QToolButton>
#include <QVariantAnimation>

#include <gtest/gtest.h>

namespace {

const QString script = QStringLiteral(
    "Welcome back to the studio. Today we look at how a take becomes a finished movie.\n\n"
    "First the camera and the screen are recorded side by side, each with its own clock.\n\n"
    "Then the finishing pass lays the camera over the screen and plans the zooms.");

QStringList titles(QMenu* menu)
{
    QStringList result;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            result << action->text();
    return result;
}

QStringList marked(const QStringList& entries) { return entries.filter(PrompterMenus::checkMark); }

// Pixels that differ clearly from `background` inside `area`.
int inked(const QImage& image, const QRect& area, QRgb background)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) + std::abs(qBlue(p) - qBlue(background)) > 60)
                ++count;
        }
    return count;
}

// The docs keep a picture of each page over a busy desktop, so the page's opacity shows; the test build
// writes them next to itself.
void keep(QWidget& page, const QString& name)
{
    QImage picture(page.width() + 40, page.height() + 40, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    QLinearGradient desktop(0, 0, picture.width(), picture.height());
    desktop.setColorAt(0, QColor(40, 90, 160));
    desktop.setColorAt(1, QColor(220, 120, 60));
    painter.fillRect(picture.rect(), desktop);
    for (int x = 0; x < picture.width(); x += 60)
        painter.fillRect(QRect(x, 0, 24, picture.height()), QColor(255, 255, 255, 40));
    page.render(&painter, QPoint(20, 20), QRegion(), QWidget::DrawChildren);
    painter.end();
    QDir().mkpath(QStringLiteral(OLVENNAR_BINARY_DIR "/teleprompter-pages"));
    picture.save(QStringLiteral(OLVENNAR_BINARY_DIR "/teleprompter-pages/") + name);
}

class TeleprompterPagesTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        model = std::make_unique<TeleprompterModel>(*settings);
        view = std::make_unique<TeleprompterView>(*model);
        view->resize(780, 300);
    }
    QImage grab() { return settledPicture(*view); }
    std::unique_ptr<TeleprompterModel> model;
    std::unique_ptr<TeleprompterView> view;
};

TEST(FollowPageMetricsTest, ProportionalToTheFontWithFloors)
{
    struct Row {
        QSizeF page;
        double f, columnWidth, lineY, viewHeight;
    };
    const std::vector<Row> rows{
        {{780, 300}, 32, 720, 38.72, 254},
        {{780, 300}, 18, 720, 0.71 * 18 + 16, 254},
        {{240, 100}, 54, 200, 0.71 * 54 + 16, 60},
    };
    for (const Row& row : rows) {
        const auto m = FollowPage::Metrics::of(row.page, row.f);
        EXPECT_DOUBLE_EQ(m.columnWidth, row.columnWidth);
        EXPECT_NEAR(m.lineY, row.lineY, 1e-9);
        EXPECT_NEAR(m.bandTop, 11, 1e-9);
        EXPECT_DOUBLE_EQ(m.viewHeight, row.viewHeight);
    }
    using Tag = FollowBox::Kind::Tag;
    using R = FollowPage::Relation;
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::spoken, R::after, 1), 0.58);
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::spoken, R::after, 0), 0.85);
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::spoken, R::before, 0), 0.22);
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::action, R::after, 0), 0.8);
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::action, R::before, 1), 0.3);
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::orb, R::after, 1), 0.7);
    EXPECT_DOUBLE_EQ(FollowPage::cardOpacity(Tag::orb, R::focused, 0), 1);
}

TEST_F(TeleprompterPagesTest, FollowPageBandReadingLineAndEndLabel)
{
    model->setMode(PrompterMode::follow);
    model->setBgOpacity(1);
    const QRgb page = TeleprompterPalette::light().page.rgb();
    const int bandMiddle = static_cast<int>(11 + (1.42 * 32 + 10) / 2);
    const QRect bandProbe(767, bandMiddle - 2, 8, 4); // inside the band, right of every card
    QImage empty = grab();
    EXPECT_EQ(inked(empty, QRect(700, 5, 60, 60), page), 0) << "no band, line or pointer without cards";
    EXPECT_EQ(empty.pixel(400, 200), page) << "an opaque page at bgOpacity 1";
    model->setBgOpacity(0);
    EXPECT_EQ(grab().pixel(400, 200), qRgb(0, 0, 0)) << "what lies behind shows through at bgOpacity 0";
    model->setBgOpacity(1);
    keep(*view, QStringLiteral("follow-empty.png"));

    model->setStyle(TeleprompterScript::Style::cues);
    model->setText(QStringLiteral("SHOW the finished movie\nWelcome back to the studio.\nToday we look at takes."));
    ASSERT_FALSE(model->follower().boxes()[0].kind.isSpoken());
    QImage onAction = grab();
    const QRgb bandColour = onAction.pixel(771, bandMiddle);
    EXPECT_LT(inked(onAction, bandProbe, page), 10) << "a focused cue card leaves the band clear";
    EXPECT_GT(inked(onAction, QRect(7, static_cast<int>(38.72) - 3, 10, 6), page), 10) << "the pointer marks lineY";

    model->stepBox(1);
    ASSERT_TRUE(FollowPage::bandFilled(*model));
    QImage onSpoken = grab();
    EXPECT_NE(onSpoken.pixel(771, bandMiddle), bandColour) << "the band fills behind a spoken card";
    keep(*view, QStringLiteral("follow-cream.png"));

    model->setFontSize(40);
    EXPECT_GT(inked(grab(), QRect(7, static_cast<int>(0.71 * 40 + 16) - 3, 10, 6), page), 10) << "the pointer follows lineY";

    EXPECT_FALSE(FollowPage::showsEndLabel(*model));
    model->hear(QStringLiteral("welcome back to the studio"));
    model->hear(QStringLiteral("today we look at takes"));
    EXPECT_EQ(model->follower().cursor(), model->follower().tokens().size()) << "the whole script was heard";
    EXPECT_TRUE(FollowPage::showsEndLabel(*model));
    model->setTheme(QStringLiteral("dark"));
    model->setBgOpacity(0);
    keep(*view, QStringLiteral("follow-dark-clear-end.png"));
    // "End of script" in the dark ink, a line below the reading line, over whatever lies behind.
    const int endTop = static_cast<int>(0.71 * 40 + 16 + 1.42 * 40);
    const QRect endLabel(300, endTop, 180, 22);
    const QImage ended = grab();
    EXPECT_GT(inked(ended, endLabel, qRgb(0, 0, 0)), 20) << "the end label shows";
    model->stepBox(-1);
    EXPECT_FALSE(FollowPage::showsEndLabel(*model)) << "stepping back hides the end label";
}

TEST_F(TeleprompterPagesTest, AHeardWordDrawsOnlyTheFocusedCardAgain)
{
    model->setMode(PrompterMode::follow);
    model->setText(script);
    grab();
    const int first = view->followPage().cardRenders();
    ASSERT_GE(first, 2);
    grab();
    EXPECT_EQ(view->followPage().cardRenders(), first) << "an unchanged page blits its cards";
    model->hear(QStringLiteral("welcome back to"));
    grab();
    EXPECT_EQ(view->followPage().cardRenders(), first + 1);
}

TEST_F(TeleprompterPagesTest, TheColumnSlidesToTheLineBeingRead)
{
    model->setMode(PrompterMode::follow);
    model->setFontSize(54);
    model->setText(script);
    view->show();
    view->settle();
    const double start = view->columnShift();
    EXPECT_NEAR(start, 0.71 * 54 + 16 - 1.42 * 54 / 2, 1e-9) << "the first line sits on the reading line";

    model->stepBox(1);
    const QVariantAnimation& slide = view->slide();
    EXPECT_EQ(slide.state(), QAbstractAnimation::Running);
    EXPECT_EQ(slide.duration(), 250) << "a new card slides in 0.25 s";
    EXPECT_LT(slide.endValue().toDouble(), start);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return slide.state() == QAbstractAnimation::Stopped; }, 2000));
    EXPECT_EQ(view->columnShift(), slide.endValue().toDouble());

    // Words read down the focused card move the reading position a line at a time.
    const FollowBox& card = model->follower().boxes()[1];
    QStringList words;
    for (const FollowWord& word : card.words)
        words << word.text;
    model->hear(words.mid(0, words.size() - 1).join(u' '));
    EXPECT_EQ(model->follower().focus(), 1);
    EXPECT_EQ(slide.state(), QAbstractAnimation::Running);
    EXPECT_EQ(slide.duration(), 380) << "reading on within a card slides in 0.38 s";
    view->hide();
}

TEST_F(TeleprompterPagesTest, AutoPageScrollsToItsEndAndStops)
{
    EXPECT_EQ(AutoPageColumn::lineLength(780, 32), 41);
    EXPECT_EQ(AutoPageColumn::lineLength(300, 54), 14);
    EXPECT_EQ(AutoPageColumn::lineLength(780, 0), 40);

    model->setMode(PrompterMode::auto_);
    // The placeholder measures nothing, so the height written here is the one the tick runs against.
    model->setContentHeight(500);
    model->setScrolling(true);
    int ticks = 0;
    while (model->isScrolling() && ticks < 100000) {
        view->tick();
        ++ticks;
    }
    EXPECT_NEAR(model->offset(), 460, 14.0 / 30);
    EXPECT_LE(model->offset(), 460);
    model->restart();
    model->setContentHeight(30);
    model->setScrolling(true);
    view->tick();
    EXPECT_FALSE(model->isScrolling());
    EXPECT_EQ(model->offset(), 0);

    // Scrolled back before the start, play runs until the offset is no longer below 0.
    model->setContentHeight(20);
    model->scroll(-120);
    model->setScrolling(true);
    for (int tick = 0; tick < 1000 && model->isScrolling(); ++tick)
        view->tick();
    EXPECT_EQ(model->offset(), 0);

    EXPECT_DOUBLE_EQ(TeleprompterView::wheelAmount(1, false), -10);
    model->setContentHeight(1000);
    model->setScrolling(true);
    QWheelEvent precise(QPointF(100, 100), QPointF(100, 100), QPoint(0, -3), QPoint(0, -24), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &precise);
    EXPECT_DOUBLE_EQ(model->offset(), 3) << "pixel deltas as they are";
    EXPECT_FALSE(model->isScrolling());
    QWheelEvent line(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &line);
    EXPECT_DOUBLE_EQ(model->offset(), 13) << "one line is ten points";
    model->restart();
    EXPECT_DOUBLE_EQ(TeleprompterView::wheelAmount(-3.5, true), 3.5);
    model->setSpeed(14.9);
    EXPECT_EQ(view->speedLabel()->text(), QStringLiteral("14"));
    model->setFontSize(40);
    model->setContentHeight(5000);
    view->button(QStringLiteral("down"))->click();
    EXPECT_DOUBLE_EQ(model->offset(), 56);
    view->button(QStringLiteral("up"))->click();
    EXPECT_DOUBLE_EQ(model->offset(), 0);
}

TEST_F(TeleprompterPagesTest, TheColumnIsLaidOutOnceAndAShorterOneIsNeverLeftBlank)
{
    model->setMode(PrompterMode::auto_);
    QString longScript;
    for (int i = 0; i < 12; ++i)
        longScript += script + QStringLiteral("\n\n");
    model->setText(longScript);
    ASSERT_GT(model->contentHeight(), 2000);
    EXPECT_EQ(model->contentHeight(), view->column().height());
    view->settle();
    keep(*view, QStringLiteral("auto-start.png"));
    model->scroll(model->contentHeight());
    const AutoPageColumn::Key key = view->column().key();
    model->autoAdvance(-1);
    EXPECT_EQ(view->column().key(), key) << "a tick does not lay the column out again";

    // A much smaller font: the column shrinks; the offset comes back with it and the page shows text.
    model->setFontSize(18);
    EXPECT_LE(model->offset(), model->contentHeight() - 40);
    const QImage page = grab();
    EXPECT_GT(inked(page, QRect(28, 0, 724, 250), qRgb(0, 0, 0)), 200);
    model->setText(script);
    EXPECT_LE(model->offset(), std::max(model->contentHeight() - 40, 0.0));
    EXPECT_GT(inked(grab(), QRect(28, 0, 724, 250), qRgb(0, 0, 0)), 200);

    // Cue rows, a gesture tag and an orb block.
    model->setStyle(TeleprompterScript::Style::mixed);
    model->setFontSize(28);
    model->setText(QStringLiteral("Welcome back to the studio.\n[PINCH] SHOW the finished movie\nSAY this is the take we made\n"
                                  "[ORB] The orb explains the timeline here. [/ORB]\nAnd on we go."));
    model->restart();
    keep(*view, QStringLiteral("auto-blocks.png"));

    using Kind = AutoPageColumn::BlockKind;
    const std::vector<AutoPageColumn::Placed> blocks = view->column().placed();
    std::vector<Kind> kinds;
    for (const auto& block : blocks)
        kinds.push_back(block.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::paragraph, Kind::gesture, Kind::cue, Kind::cue, Kind::orb, Kind::paragraph}));
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_FALSE(blocks[2].spokenCue) << "SHOW is an instruction";
    EXPECT_TRUE(blocks[3].spokenCue) << "SAY is the spoken cue";
    EXPECT_DOUBLE_EQ(blocks[2].labelWidth, 2.3 * 28) << "the keyword column follows the text size";
    EXPECT_DOUBLE_EQ(blocks[0].y, 0);
    for (size_t i = 1; i < blocks.size(); ++i) {
        EXPECT_GT(blocks[i].height, 0) << i;
        // Blocks of one segment stand 8 apart; the orb, a segment of its own, 0.7 f from its neighbours.
        const bool segmentEdge = blocks[i].kind == Kind::orb || blocks[i - 1].kind == Kind::orb;
        EXPECT_NEAR(blocks[i].y - (blocks[i - 1].y + blocks[i - 1].height), segmentEdge ? 0.7 * 28 : 8, 1e-9) << i;
    }
    // The dashed orb box holds its heading and the text, 12 above and below and 8 between.
    EXPECT_GT(blocks[4].height, 12 + 10 + 8 + 0.74 * 28 + 12);
    EXPECT_EQ(view->column().height(), std::ceil(blocks.back().y + blocks.back().height));

    // A cue's small keyword stands on the baseline of its text, not at the top of the row: the lowest ink of
    // each (no descenders in "SHOW", "SAY" or their texts) lies on the same pixel row.
    AutoPageColumn column;
    column.update(view->column().key());
    QImage drawn(view->column().key().pageWidth, static_cast<int>(column.height()), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::black);
    QPainter painter(&drawn);
    column.paint(painter, 0, drawn.rect());
    painter.end();
    for (size_t i : {size_t(2), size_t(3)}) {
        const AutoPageColumn::Placed& cue = blocks[i];
        const int top = static_cast<int>(std::floor(cue.y));
        const int bottom = static_cast<int>(std::ceil(cue.y + cue.height));
        const int keywordLeft = static_cast<int>(AutoPageColumn::sideInset);
        const int textLeft = keywordLeft + static_cast<int>(std::ceil(cue.labelWidth)) + 14;
        auto lowestInk = [&](int left, int right) {
            for (int y = bottom; y >= top; --y)
                if (inked(drawn, QRect(left, y, right - left, 1), qRgb(0, 0, 0)) > 0)
                    return y;
            return -1;
        };
        const int keyword = lowestInk(keywordLeft, keywordLeft + static_cast<int>(cue.labelWidth));
        const int text = lowestInk(textLeft, drawn.width() - keywordLeft);
        ASSERT_GE(keyword, 0) << i;
        ASSERT_GE(text, 0) << i;
        EXPECT_NEAR(keyword, text, 1) << "cue " << i << ": the keyword sits on the text's baseline";
    }

    // Below about 24.3 pt the keyword column keeps its 56 pt.
    model->setFontSize(20);
    for (const auto& block : view->column().placed()) {
        if (block.kind == Kind::cue) {
            EXPECT_DOUBLE_EQ(block.labelWidth, 56);
        }
    }
}

TEST(TeleprompterPaletteTest, TwoThemesAndOnlyExactlyDarkIsDark)
{
    const TeleprompterPalette& dark = TeleprompterPalette::dark();
    const TeleprompterPalette& light = TeleprompterPalette::light();
    struct Row {
        QColor shown, wanted;
        const char* what;
    };
    const std::vector<Row> rows{
        {dark.page, QColor(14, 11, 9), "dark page"},
        {dark.ink, QColor(255, 246, 234), "dark ink"},
        {dark.band, QColor(231, 149, 196, qRound(0.16 * 255)), "dark band"},
        {dark.accent, QColor(231, 149, 196), "dark accent"},
        {dark.chrome, QColor(28, 22, 18, qRound(0.94 * 255)), "dark chrome"},
        {dark.chromeInk, QColor(245, 237, 216), "dark chrome ink"},
        {light.page, QColor(245, 237, 216), "cream page"},
        {light.ink, QColor(20, 9, 3), "cream ink"},
        {light.band, QColor(207, 148, 136, qRound(0.30 * 255)), "cream band"},
        {light.accent, QColor(184, 103, 90), "cream accent"},
        {light.chrome, QColor(245, 237, 216, qRound(0.94 * 255)), "cream chrome"},
        {light.chromeInk, QColor(44, 21, 8), "cream chrome ink"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.shown.rgb(), row.wanted.rgb()) << row.what;
        EXPECT_NEAR(row.shown.alphaF(), row.wanted.alphaF(), 0.5 / 255) << row.what;
    }
    for (const char* theme : {"light", "Dark", "DARK", "dark ", " dark", "", "night"})
        EXPECT_EQ(&TeleprompterPalette::forTheme(QString::fromLatin1(theme)), &light) << '"' << theme << '"';
    EXPECT_EQ(&TeleprompterPalette::forTheme(QStringLiteral("dark")), &dark);
}

TEST_F(TeleprompterPagesTest, MenusMarkTheCurrentChoices)
{
    model->setBgOpacity(0.57);
    model->setTheme(QStringLiteral("light"));
    QStringList modes = titles(view->modeMenu());
    EXPECT_EQ(marked(modes), QStringList({QStringLiteral("✓ Follow my voice"), QStringLiteral("✓ Cream page (like Korvath)"), QStringLiteral("✓ Background 55%")}));
    EXPECT_EQ(modes.size(), 9) << "two modes, two pages, five opacities";
    model->setBgOpacity(0.45);
    model->setTheme(QStringLiteral("Dark"));
    EXPECT_EQ(marked(titles(view->modeMenu())), QStringList({QStringLiteral("✓ Follow my voice")}));
    EXPECT_EQ(titles(view->modeMenu()).filter(QStringLiteral("Background")),
        QStringList({QStringLiteral("Background 100%"), QStringLiteral("Background 75%"), QStringLiteral("Background 55%"),
            QStringLiteral("Background 35%"), QStringLiteral("Background 20%")}));

    model->setCameraSide(CameraSide::left);
    model->setPosition(PrompterPosition::camera);
    EXPECT_EQ(marked(titles(view->positionMenu())), QStringList({QStringLiteral("✓ Left of the camera (my spot)")}));
    model->setPosition(PrompterPosition::left);
    EXPECT_EQ(marked(titles(view->positionMenu())), QStringList({QStringLiteral("✓ Left of the camera")}));

    int spots = 0;
    view->positionMenu()->actions().last()->trigger();
    model->beginCameraSpot = [&spots] { ++spots; };
    view->positionMenu()->actions().last()->trigger();
    EXPECT_EQ(spots, 1) << "Set camera spot… does nothing without the owner's callback";
    model->setFontSize(80);
    EXPECT_EQ(view->fontSlider()->value(), view->fontSlider()->maximum());
    EXPECT_EQ(model->fontSize(), 80) << "the follow bar's slider at its end does not rewrite 80 to 54";
    EXPECT_EQ(FollowPage::emptyText(),
        QStringLiteral("No script yet. Paste one in the %1 window, or press Record on a video in Quillet.").arg(Edition::appName()));

    QAction* darkPage = view->modeMenu()->actions()[4];
    darkPage->trigger();
    EXPECT_EQ(model->theme(), QStringLiteral("dark"));
}

TEST_F(TeleprompterPagesTest, ThePositionMenusLabelShowsThePositionsSymbol)
{
    const std::vector<std::pair<PrompterPosition, QString>> rows{
        {PrompterPosition::topCenter, QStringLiteral("▣ Top centre")},
        {PrompterPosition::left, QStringLiteral("◧ Left")},
        {PrompterPosition::right, QStringLiteral("◨ Right")},
        {PrompterPosition::custom, QStringLiteral("✥ Free")},
        {PrompterPosition::camera, QStringLiteral("◎ Camera spot")},
    };
    for (const auto& [position, label] : rows) {
        model->setPosition(position);
        QStringList shown;
        for (QToolButton* button : view->findChildren<QToolButton*>()) {
            if (button->menu() == view->positionMenu())
                shown << button->text();
            EXPECT_TRUE(QFontMetrics(button->font()).inFont(label.front())) << label.toStdString() << ": the symbol is drawn, not a box";
        }
        EXPECT_EQ(shown, QStringList({label, label})) << "in each bar: " << label.toStdString();
    }
}

// The follow bar's capsule stands 8 points above the page's bottom and casts a soft shadow: black at 0.12,
// blurred by a radius of 3, one point down.
TEST_F(TeleprompterPagesTest, TheFollowBarsCapsuleCastsASoftShadow)
{
    model->setMode(PrompterMode::follow);
    model->setTheme(QStringLiteral("dark"));
    model->setBgOpacity(0);
    model->setText(script);
    view->settle();
    QImage drawn(view->size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::white);
    view->render(&drawn);
    // Up the middle from the bottom: the white behind the clear page, the shadow, then the dark capsule.
    const int x = view->width() / 2;
    int capsuleBottom = drawn.height() - 1;
    while (capsuleBottom > 0 && qRed(drawn.pixel(x, capsuleBottom)) >= 128)
        --capsuleBottom;
    EXPECT_EQ(capsuleBottom, drawn.height() - 8 - 1);
    const auto shade = [&](int below) { return 255 - qRed(drawn.pixel(x, capsuleBottom + below)); };
    EXPECT_LE(shade(1), 0.12 * 255);
    EXPECT_GT(shade(1), shade(2));
    EXPECT_GT(shade(2), shade(3));
    EXPECT_GT(shade(3), 0) << "a blurred edge, not a hard one";
    EXPECT_EQ(shade(7), 0);
}


// At every width the panel may take, in both modes, with every kind of status and the longest position labels,
// each control of the shown bar lies whole inside its capsule, beside and not over its neighbour, and the
// capsule lies on the page. Where the bar fits as it is, it keeps its own gaps, padding and sliders.
TEST_F(TeleprompterPagesTest, EveryControlOfTheBarStaysWholeOnThePage)
{
    const QString listening = QStringLiteral("Listening (on this computer)");
    const QStringList statuses{QString(), listening, QStringLiteral("Microphone not allowed for %1.").arg(Edition::appName()),
        QStringLiteral("Could not start the microphone: the device is busy or was unplugged")};
    model->setText(script);
    view->show();
    for (PrompterMode mode : {PrompterMode::follow, PrompterMode::auto_})
        for (PrompterPosition position : {PrompterPosition::topCenter, PrompterPosition::camera})
            for (const QString& status : statuses)
                for (int width : {560, 600, 660, 720, 780, 1000}) {
                    SCOPED_TRACE(QStringLiteral("%1 %2 \"%3\" at %4")
                                     .arg(PrompterChoices::rawText(mode), PrompterChoices::rawText(position), status)
                                     .arg(width)
                                     .toStdString());
                    model->setMode(mode);
                    model->setPosition(position);
                    model->setSpeechStatus(status);
                    view->resize(width, 300);
                    QCoreApplication::processEvents();
                    ASSERT_EQ(view->width(), width);
                    PrompterBar* bar = mode == PrompterMode::follow ? view->followBar() : view->autoBar();
                    ASSERT_TRUE(bar->isVisible());
                    const QRect capsule = bar->capsule().translated(bar->pos());
                    EXPECT_GE(capsule.left(), 0);
                    EXPECT_LE(capsule.right(), width - 1);
                    int firstLeft = -1;
                    int lastRight = capsule.left();
                    for (int i = 0; i < bar->row()->count(); ++i) {
                        QWidget* control = bar->row()->itemAt(i)->widget();
                        if (control->isHidden())
                            continue;
                        const QRect placed = control->geometry().translated(bar->pos());
                        EXPECT_TRUE(capsule.contains(placed)) << i;
                        EXPECT_GT(placed.left(), lastRight) << i << ": clear of the control before it";
                        if (firstLeft < 0)
                            firstLeft = placed.left();
                        lastRight = placed.right();
                        if (auto* label = qobject_cast<QLabel*>(control))
                            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), placed.width()) << i;
                        else
                            EXPECT_GE(placed.width(), qobject_cast<QSlider*>(control) ? 40 : control->sizeHint().width()) << i;
                    }
                    EXPECT_EQ(firstLeft - capsule.left(), capsule.right() - lastRight) << "as much padding at either end";
                    if (mode == PrompterMode::follow) {
                        EXPECT_EQ(view->statusLabel()->isVisible(), !status.isEmpty());
                        if (status == listening)
                            EXPECT_EQ(view->statusLabel()->text(), listening) << "the status stays whole";
                    }
                    if (width >= 780) {
                        EXPECT_EQ(bar->row()->spacing(), 12);
                        EXPECT_EQ(bar->row()->contentsMargins().left() - bar->shadowMargins().left(), 14);
                        EXPECT_EQ(mode == PrompterMode::follow ? view->fontSlider()->width() : view->speedSlider()->width(),
                            mode == PrompterMode::follow ? 70 : 90);
                        EXPECT_NEAR(capsule.center().x(), width / 2, 1) << "centred";
                    }
                }
    view->hide();
}

} // namespace
