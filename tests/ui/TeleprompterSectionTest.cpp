#include "support/TestEnvironment.h"
#include "teleprompter/TeleprompterModel.h"
#include "ui/IconLabel.h"
#include "ui/SegmentedControl.h"
#include "ui/TeleprompterSection.h"
#include "ui/XPointer.h"
#include "support/FakeVoiceFollowSwitch.h"
#include "views/teleprompter/TeleprompterPanel.h"
#include "views/teleprompter/TeleprompterView.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class TeleprompterSectionTest : public SandboxTest {
protected:
    void make(bool visible = false)
    {
        model = std::make_unique<TeleprompterModel>(*settings);
        section = std::make_unique<TeleprompterSection>(*model, visible, [this] { ++toggles; });
        section->resize(400, section->sizeHint().height());
    }
    void paste(QMimeData* data)
    {
        QApplication::clipboard()->setMimeData(data);
        section->editor()->paste();
    }
    void pasteText(const QString& text)
    {
        auto* data = new QMimeData;
        data->setText(text);
        paste(data);
    }
    std::unique_ptr<TeleprompterModel> model;
    std::unique_ptr<TeleprompterSection> section;
    int toggles = 0;
};

TEST_F(TeleprompterSectionTest, PastedTextIsAppendedAtTheEnd)
{
    struct Row {
        QString script, pasted, result;
    };
    const std::vector<Row> rows{
        {QString(), QStringLiteral("abc"), QStringLiteral("abc")},
        {QStringLiteral("hello"), QStringLiteral("abc"), QStringLiteral("hello\nabc")},
        {QStringLiteral("hello\n"), QStringLiteral("abc"), QStringLiteral("hello\nabc")},
        {QStringLiteral("hello"), QString(), QStringLiteral("hello")},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScriptEditor::appended(row.script, row.pasted), row.result);

    make();
    model->setText(QStringLiteral("hello"));
    QTextCursor start = section->editor()->textCursor();
    start.setPosition(0);
    section->editor()->setTextCursor(start);
    pasteText(QStringLiteral("world"));
    EXPECT_EQ(model->text(), QStringLiteral("hello\nworld")) << "at the end, not at the cursor";
    EXPECT_EQ(section->editor()->toPlainText(), model->text());

    auto* image = new QMimeData;
    image->setImageData(QImage(4, 4, QImage::Format_RGB32));
    paste(image);
    pasteText(QString());
    EXPECT_EQ(model->text(), QStringLiteral("hello\nworld")) << "an image or an empty string changes nothing";
    EXPECT_FALSE(section->editor()->acceptDrops());

    section->editor()->moveCursor(QTextCursor::End);
    section->editor()->insertPlainText(QStringLiteral(" [ORB]"));
    EXPECT_EQ(model->text(), QStringLiteral("hello\nworld [ORB]")) << "typing writes the whole text";
    EXPECT_FALSE(section->orbLabel()->isHidden());
    model->setText(QStringLiteral("a [orb] and [/ORB]"));
    EXPECT_TRUE(section->orbLabel()->isHidden()) << "lower case or a closing marker shows no notice";
}

TEST_F(TeleprompterSectionTest, ACopiedFileIsNoScriptWhateverTextComesWithIt)
{
    make();
    model->setText(QStringLiteral("hello"));
    const QUrl file = QUrl::fromLocalFile(path(QStringLiteral("notes.txt")));

    auto* bare = new QMimeData; // what Qt offers as text although no text flavour is there
    bare->setUrls({file});
    paste(bare);
    EXPECT_FALSE(section->editor()->canPaste());
    EXPECT_EQ(model->text(), QStringLiteral("hello")) << "a file's address is not pasted";

    auto* withPath = new QMimeData; // a file manager's copy: the file and its path as plain text
    withPath->setUrls({file});
    withPath->setText(file.toLocalFile());
    paste(withPath);
    EXPECT_EQ(model->text(), QStringLiteral("hello"));

    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<b>rich</b>"));
    paste(html);
    EXPECT_EQ(model->text(), QStringLiteral("hello")) << "only plain text is script";

    auto* link = new QMimeData; // a web link copied with its text is text
    link->setUrls({QUrl(QStringLiteral("https://example.org/talk"))});
    link->setText(QStringLiteral("the talk"));
    paste(link);
    EXPECT_TRUE(section->editor()->canPaste());
    EXPECT_EQ(model->text(), QStringLiteral("hello\nthe talk"));
}

// A file manager copies a file on a network share or in the trash by its address, often with its own copy
// marker beside it: whatever the scheme, that is a file and no script. An address copied as text is text.
TEST_F(TeleprompterSectionTest, AFileReferenceOfAnySchemeChangesNothing)
{
    make();
    model->setText(QStringLiteral("hello"));
    const QByteArray copyMarker("x-special/gnome-copied-files");
    struct Row {
        const char* what;
        QString address;
        bool marker;
    };
    const std::vector<Row> rows{
        {"a file on a share", QStringLiteral("smb://nas.local/talks/notes.txt"), false},
        {"a file on a share, marked", QStringLiteral("smb://nas.local/talks/notes.txt"), true},
        {"a file in the trash", QStringLiteral("trash:///notes.txt"), false},
        {"a file in the trash, marked", QStringLiteral("trash:///notes.txt"), true},
        {"a local file, marked", QUrl::fromLocalFile(path(QStringLiteral("notes.txt"))).toString(), true},
    };
    for (const Row& row : rows) {
        auto* copied = new QMimeData;
        copied->setUrls({QUrl(row.address)});
        copied->setText(row.address);
        if (row.marker)
            copied->setData(QString::fromLatin1(copyMarker), "copy\n" + row.address.toUtf8());
        paste(copied);
        EXPECT_FALSE(section->editor()->canPaste()) << row.what;
        EXPECT_EQ(model->text(), QStringLiteral("hello")) << row.what;
    }

    // The marker alone is enough, even when the list of addresses is missing.
    auto* markedOnly = new QMimeData;
    markedOnly->setData(QString::fromLatin1(copyMarker), "copy\nsmb://nas.local/talks/notes.txt");
    markedOnly->setText(QStringLiteral("smb://nas.local/talks/notes.txt"));
    paste(markedOnly);
    EXPECT_EQ(model->text(), QStringLiteral("hello"));

    // Newer file managers put the whole copy into the plain text, behind a marker line.
    pasteText(QStringLiteral("x-special/nautilus-clipboard\ncopy\nsmb://nas.local/talks/notes.txt\n"));
    EXPECT_EQ(model->text(), QStringLiteral("hello"));

    // A browser copies a web address as plain text only: that is text.
    pasteText(QStringLiteral("https://example.org/talk?part=2"));
    EXPECT_EQ(model->text(), QStringLiteral("hello\nhttps://example.org/talk?part=2"));
    pasteText(QStringLiteral("smb://nas.local/talks is where the slides live"));
    EXPECT_EQ(model->text(), QStringLiteral("hello\nhttps://example.org/talk?part=2\nsmb://nas.local/talks is where the slides live"))
        << "an address typed into a sentence is text";
}

TEST_F(TeleprompterSectionTest, APasteIsOneEditThatUndoTakesBack)
{
    make();
    ScriptEditor* editor = section->editor();
    editor->insertPlainText(QStringLiteral("Intro")); // typed
    ASSERT_EQ(model->text(), QStringLiteral("Intro"));
    pasteText(QStringLiteral("Second line"));
    EXPECT_EQ(model->text(), QStringLiteral("Intro\nSecond line"));
    ASSERT_TRUE(editor->document()->isUndoAvailable()) << "the paste keeps the history";
    editor->undo();
    EXPECT_EQ(model->text(), QStringLiteral("Intro")) << "one undo takes the whole paste back";
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("Intro"));
    editor->redo();
    EXPECT_EQ(model->text(), QStringLiteral("Intro\nSecond line"));
    editor->undo();
    editor->undo();
    EXPECT_EQ(model->text(), QString()) << "the typing before the paste is still undoable";
}

TEST_F(TeleprompterSectionTest, RowsFollowTheModelWithoutWritingItBack)
{
    settings->setDouble(QStringLiteral("prompterFontSize"), 80);
    make();
    EXPECT_EQ(section->sizeLabel()->text(), QStringLiteral("80pt"));
    EXPECT_EQ(section->sizeSlider()->value(), section->sizeSlider()->maximum());
    EXPECT_EQ(model->fontSize(), 80) << "the slider at its end does not rewrite 80 to 54";
    EXPECT_EQ(settings->doubleValue(QStringLiteral("prompterFontSize")), 80.0);
    model->setFontSize(32.7);
    EXPECT_EQ(section->sizeLabel()->text(), QStringLiteral("32pt"));
    section->sizeSlider()->setValue(section->sizeSlider()->minimum());
    EXPECT_EQ(model->fontSize(), 18);

    model->setSpeechStatus(QStringLiteral("Listening (on this computer)"));
    model->setMode(PrompterMode::auto_);
    EXPECT_TRUE(section->statusLabel()->isHidden()) << "auto mode hides the status";
    model->setMode(PrompterMode::follow);
    EXPECT_FALSE(section->statusLabel()->isHidden());
    section->modePicker()->segment(1)->click();
    EXPECT_EQ(model->mode(), PrompterMode::auto_);
    section->positionPicker()->activated(4);
    EXPECT_EQ(model->position(), PrompterPosition::camera);
    EXPECT_EQ(settings->stringValue(QStringLiteral("prompterPosition")), QStringLiteral("camera"));
}

TEST_F(TeleprompterSectionTest, TheButtonShowsOrHidesThroughTheToggleOnly)
{
    make(false);
    EXPECT_EQ(section->toggleButton()->text(), QStringLiteral("Show"));
    section->toggleButton()->click();
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(section->toggleButton()->text(), QStringLiteral("Show")) << "the owner says when it is shown";
    section->setPanelVisible(true);
    EXPECT_EQ(section->toggleButton()->text(), QStringLiteral("Hide"));
    EXPECT_TRUE(TeleprompterSection::explanation().contains(QStringLiteral("Super+Alt+Left")));
    EXPECT_FALSE(TeleprompterSection::explanation().contains(QStringLiteral("Dictation")));

    model->setText(QStringLiteral("Welcome back. [ORB] The orb speaks here. [/ORB] And on we go."));
    model->setSpeechStatus(QStringLiteral("Listening (on this computer)"));
    section->setFixedWidth(400);
    section->adjustSize();
    section->show();
    QDir().mkpath(QStringLiteral(OLVENNAR_BINARY_DIR "/teleprompter-pages"));
    section->grab().save(QStringLiteral(OLVENNAR_BINARY_DIR "/teleprompter-pages/section.png"));
}

TEST_F(TeleprompterSectionTest, TheOrbNoticesSymbolTakesTheNoticesColour)
{
    make();
    model->setText(QStringLiteral("Welcome back. [ORB] The orb speaks here. [/ORB] And on we go."));
    const QColor notice = QColor::fromRgbF(0.42f, 0.62f, 0.53f);
    EXPECT_EQ(section->orbLabel()->textLabel()->palette().color(QPalette::WindowText).rgb(), notice.rgb());
    QImage symbol;
    for (QLabel* label : section->orbLabel()->findChildren<QLabel*>())
        symbol = label->pixmap().isNull() ? symbol : label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(symbol.isNull());
    int drawn = 0, otherColour = 0;
    for (int y = 0; y < symbol.height(); ++y) {
        for (int x = 0; x < symbol.width(); ++x) {
            const QColor pixel = symbol.pixelColor(x, y);
            drawn += pixel.alpha() >= 100;
            otherColour += pixel.alpha() >= 100 && std::abs(pixel.red() - notice.red()) + std::abs(pixel.green() - notice.green()) + std::abs(pixel.blue() - notice.blue()) > 9;
        }
    }
    EXPECT_GT(drawn, 5);
    EXPECT_EQ(otherColour, 0) << "of " << drawn << " drawn pixels";
}

// The section in a window of its own, as the main window will hold it, driving the real panel: the user
// clicks Show, types a script and clicks Hide.
TEST_F(TeleprompterSectionTest, AUserShowsThePanelTypesAScriptAndHidesIt)
{
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "needs an X display";
    FakeVoiceFollowSwitch speech;
    TeleprompterWindow window(*settings, &speech);
    TeleprompterSection* shown = nullptr;
    TeleprompterSection ownSection(window.model(), false, [&] {
        if (window.isShown())
            window.hide();
        else
            window.show(QGuiApplication::primaryScreen());
        shown->setPanelVisible(window.isShown());
    });
    shown = &ownSection;
    ownSection.setFixedWidth(400);
    ownSection.adjustSize();
    ownSection.move(840, 360);
    ownSection.show();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return ownSection.isVisible(); }));
    TestEnvironment::waitUntil([] { return false; }, 200);

    ASSERT_TRUE(XPointer::click(ownSection.toggleButton()));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return window.isShown() && window.panel()->isVisible(); }));
    EXPECT_EQ(ownSection.toggleButton()->text(), QStringLiteral("Hide"));
    EXPECT_TRUE(speech.last && speech.last->wanted) << "follow mode listens while the panel shows";

    ASSERT_TRUE(XPointer::click(ownSection.editor()));
    XPointer::xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("Welcome back to the studio.")});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return window.model().text() == QStringLiteral("Welcome back to the studio."); }));
    EXPECT_EQ(speech.last->scriptText, QStringLiteral("Welcome back to the studio.")) << "every edit hands the hub the new script";
    EXPECT_EQ(window.model().follower().boxes().size(), 1u);
    TestEnvironment::waitUntil([] { return false; }, 300);
    QGuiApplication::primaryScreen()->grabWindow(0).save(QStringLiteral(OLVENNAR_BINARY_DIR "/teleprompter-pages/desktop.png"));

    ASSERT_TRUE(XPointer::click(ownSection.modePicker()->segment(1)));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return window.model().mode() == PrompterMode::auto_; }));
    EXPECT_FALSE(speech.last->wanted);
    EXPECT_GT(window.model().contentHeight(), 0) << "the auto page measured its column";

    ASSERT_TRUE(XPointer::click(ownSection.toggleButton()));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !window.isShown(); }));
    EXPECT_EQ(ownSection.toggleButton()->text(), QStringLiteral("Show"));
}

} // namespace
