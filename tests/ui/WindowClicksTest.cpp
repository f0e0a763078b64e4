// Real pointer clicks from another X client reach the window's buttons.
#include "WindowTest.h"

#include "ui/TransportRow.h"

#include <QGuiApplication>
#include <QLayout>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QWindow>

namespace {

class WindowClicksTest : public WindowTest {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        WindowTest::SetUp();
        view->move(40, 40);
        view->raise();
        view->activateWindow();
        ASSERT_TRUE(TestEnvironment::waitUntil([this] { return view->windowHandle() && view->windowHandle()->isExposed(); }, 3000));
        settle();
    }

    static QString xdotool(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        process.waitForFinished(5000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // Moves the X pointer onto the button's centre and clicks it, as a user would. Other tests may map
    // windows on the shared display, so the click waits until our window is the one under the pointer.
    void press(const QString& name)
    {
        auto* button = find<QPushButton>(name);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible()) << name.toStdString();
        // A button that has just appeared gets its place when the pending layouts run.
        for (QWidget* widget = button->parentWidget(); widget; widget = widget->parentWidget()) {
            if (widget->layout())
                widget->layout()->activate();
        }
        const QPoint centre = button->mapToGlobal(button->rect().center());
        const QWidget* window = button->window();
        bool ours = false;
        for (int attempt = 0; attempt < 20 && !ours; ++attempt) {
            // Off the spot first: a move onto where the pointer already is would not be reported.
            xdotool({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")});
            const QString where = xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(centre.x()),
                QString::number(centre.y()), QStringLiteral("getmouselocation"), QStringLiteral("--shell")});
            ours = where.contains(QStringLiteral("WINDOW=%1\n").arg(window->winId()));
            if (!ours) {
                xdotool({QStringLiteral("windowraise"), QString::number(window->winId())});
                TestEnvironment::waitUntil([] { return false; }, 50);
            }
        }
        ASSERT_TRUE(ours) << "another window covers " << name.toStdString();
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }
    bool waitFor(const QStringList& expected) { return TestEnvironment::waitUntil([&] { return taken == expected; }, 3000); }
};

TEST_F(WindowClicksTest, recordStopAndACancelledDiscardFromTheXServer)
{
    press(QStringLiteral("recordButton"));
    ASSERT_TRUE(waitFor({"start"})) << taken.join(',').toStdString();

    setPhase(RecordingPhase::recording());
    press(QStringLiteral("discardButton"));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return view->transport()->discardConfirmation() != nullptr; }, 3000));
    QMessageBox* box = view->transport()->discardConfirmation();
    ASSERT_TRUE(TestEnvironment::waitUntil([box] { return box->windowHandle() && box->windowHandle()->isExposed(); }, 3000));
    // Escape answers like Cancel.
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--window"),
                                                             QString::number(box->winId()), QStringLiteral("Escape")}),
        0);
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return view->transport()->discardConfirmation() == nullptr; }, 3000));
    EXPECT_EQ(taken, QStringList({"start"}));

    press(QStringLiteral("stopButton"));
    EXPECT_TRUE(waitFor({"start", "stop"})) << taken.join(',').toStdString();
}

} // namespace
