#include "WindowTest.h"

#include "capture/RemoteButton.h"
#include "teleprompter/TeleprompterModel.h"
#include "ui/ElidedLabel.h"
#include "ui/IconLabel.h"
#include "ui/TeleprompterSection.h"
#include "views/teleprompter/TeleprompterView.h"

#include <QTextDocument>

#include <functional>

namespace {

// What a reader sees of a text Qt shows with automatic format detection (labels left on AutoText and
// every tooltip): markup is laid out, an <img> loads its file.
QString rendered(const QString& text, Qt::TextFormat format)
{
    const bool rich = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
    if (!rich)
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

QString shown(const QLabel& label) { return rendered(label.text(), label.textFormat()); }
QString shownToolTip(const QWidget& widget) { return rendered(widget.toolTip(), Qt::AutoText); }

const QStringList outsideTexts{QStringLiteral("<b>x</b>"), QStringLiteral("<img src=/etc/hostname>")};

// Every label and tooltip of the window that shows a text from outside the program, fed one through the
// path it really comes by.
class OutsideTextTest : public WindowTest {
protected:
    struct Row {
        const char* what;
        // Puts the outside text where the row reads it from.
        std::function<void(const QString&)> feed;
        // What the reader sees.
        std::function<QString()> read;
    };

    std::vector<Row> rows()
    {
        return {
            {"the microphone's name", [this](const QString& text) {
                 controller->setMicrophones({device(QStringLiteral("mic"), text)});
                 controller->setSelectedMicrophoneID(QStringLiteral("mic"));
             },
                [this] { return find<ElidedLabel>(QStringLiteral("inputName"))->shownText(); }},
            {"the microphone's name in its warning", [this](const QString& text) {
                 controller->setMicrophones({device(QStringLiteral("mic"), text)});
                 controller->setSelectedMicrophoneID(QStringLiteral("mic"));
             },
                [this] {
                    auto* row = find(QStringLiteral("microphoneWarning"));
                    QString all;
                    for (const QLabel* label : row->findChildren<QLabel*>())
                        all += shown(*label);
                    return all;
                }},
            {"the clicker's name, not connected", [this](const QString& text) {
                 controller->remote().setStatus(RemoteButton::Status::notConnected({1, 2, text}));
             },
                [this] { return shown(*find<QLabel>(QStringLiteral("remotePlainIndicator"))); }},
            {"the clicker's name, ready", [this](const QString& text) {
                 controller->remote().setStatus(RemoteButton::Status::ready({1, 2, text}));
             },
                [this] { return shown(*find<IconLabel>(QStringLiteral("remoteIndicator"))->textLabel()); }},
            {"the save folder's path, too long to fit", [this](const QString& text) {
                 chosenFolder = path(QStringLiteral("a-long-folder-name-that-cannot-fit/").repeated(12) + text);
                 click(QStringLiteral("changeSaveFolderButton"));
             },
                [this] {
                    auto* label = find<ElidedLabel>(QStringLiteral("saveLocationPath"));
                    return shownToolTip(*label);
                }},
        };
    }
};

TEST_F(OutsideTextTest, MarkupInOutsideTextIsShownAsItStands)
{
    for (const Row& row : rows()) {
        for (const QString& text : outsideTexts) {
            SCOPED_TRACE(std::string(row.what) + " " + text.toStdString());
            row.feed(text);
            settle();
            const QString seen = row.read();
            EXPECT_TRUE(seen.contains(text)) << "seen: " << seen.toStdString();
        }
    }
}

TEST(OutsideTextWidgetTest, AShortenedTitlesTooltipShowsTheWholeTitleAsItStands)
{
    for (const QString& text : outsideTexts) {
        SCOPED_TRACE(text.toStdString());
        ElidedLabel label(Qt::ElideRight);
        label.resize(60, 20);
        label.show();
        const QString title = QStringLiteral("A handoff title that is far too long to fit ") + text + QStringLiteral(" and more");
        label.setText(title);
        EXPECT_NE(label.shownText(), title);
        EXPECT_EQ(shownToolTip(label), title);
        // Fitting again drops the tooltip.
        label.resize(label.sizeHint().width() + 10, 20);
        EXPECT_TRUE(label.toolTip().isEmpty());
    }
}

class OutsideSpeechStatusTest : public SandboxTest { };

TEST_F(OutsideSpeechStatusTest, TheSpeechStatusIsShownAsItStandsInTheSectionAndOnThePanel)
{
    TeleprompterModel model(*settings);
    model.setMode(PrompterMode::follow);
    TeleprompterSection section(model, true, [] {});
    TeleprompterView view(model);
    for (const QString& text : outsideTexts) {
        SCOPED_TRACE(text.toStdString());
        const QString status = QStringLiteral("Heard ") + text;
        model.setSpeechStatus(status);
        for (int turn = 0; turn < 4; ++turn)
            QCoreApplication::processEvents();
        EXPECT_EQ(shown(*section.statusLabel()), status);
        EXPECT_EQ(shownToolTip(*view.statusLabel()), status);
        const QString onPanel = shown(*view.statusLabel());
        EXPECT_EQ(onPanel, view.statusLabel()->text()) << "no markup laid out";
        EXPECT_TRUE(status.startsWith(onPanel.chopped(onPanel.endsWith(QChar(0x2026)) ? 1 : 0)));
    }
}

} // namespace
