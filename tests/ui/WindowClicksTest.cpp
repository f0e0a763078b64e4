// Real pointer clicks from another X client reach the window's buttons.
#include "WindowTest.h"
#include "XPointer.h"

#include "ui/TransportRow.h"

#include <QGuiApplication>
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

    void press(const QString& name)
    {
        auto* button = find<QPushButton>(name);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible()) << name.toStdString();
        ASSERT_TRUE(XPointer::click(button)) << "another window covers " << name.toStdString();
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
