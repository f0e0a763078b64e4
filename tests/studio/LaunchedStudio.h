#pragma once

#include "support/StudioHome.h"
#include "support/TestEnvironment.h"
#include "support/XvfbServer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

// The real studio in a home of its own, on an X server of its own (its hot keys are grabbed there, so no
// other test's keys reach it), recording the test PulseAudio's default microphone.
class LaunchedStudio : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        if (qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
            GTEST_SKIP() << "needs the test PulseAudio server";
        display = XvfbServer::start(1280, 720);
        if (!display)
            GTEST_SKIP() << "needs Xvfb";
        environment = StudioHome::make(folder->path());
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + qEnvironmentVariable("PULSE_RUNTIME_PATH") + QStringLiteral("/native"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display->displayName()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    void TearDown() override
    {
        for (const auto& studio : studios) {
            if (studio->state() != QProcess::NotRunning) {
                studio->kill();
                studio->waitForFinished(5000);
            }
        }
        studios.clear();
        display.reset();
        SandboxTest::TearDown();
    }

    QProcess& launch()
    {
        studios.push_back(StudioHome::launch(QStringLiteral(OLVENNAR_APP), environment));
        return *studios.back();
    }

    QString studioLog() const
    {
        QFile log(path(QStringLiteral("home/.local/state/Olvennar/Olvennar.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    QString lockHolder() const
    {
        QFile lock(path(QStringLiteral("home/.config/Olvennar/studio.lock")));
        return lock.open(QIODevice::ReadOnly) ? QString::fromUtf8(lock.readLine().trimmed()) : QString();
    }
    // Where the take lands: the first project of the recordings root unless a test hands another one off.
    QString takeFolder() const { return takeFolder_.isEmpty() ? path(QStringLiteral("home/Videos/Olvennar/video 1")) : takeFolder_; }
    QStringList hiddenInTake() const
    {
        return QDir(takeFolder()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    }
    bool renderUnderWay() const { return !QDir(takeFolder()).entryList({QStringLiteral(".mixdown-*")}, QDir::Files | QDir::Hidden).isEmpty(); }

    // An empty answer when it fails: a search that finds nothing fails.
    QString xdotool(const QStringList& arguments) const { return display->xdotool(arguments).value_or(QString()); }
    QStringList visibleWindows(const QProcess& studio) const
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(studio.processId())})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Launches the studio and waits for its main window.
    QProcess& launchShown()
    {
        QProcess& studio = launch();
        EXPECT_TRUE(studio.waitForStarted(10000));
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return lockHolder() == QString::number(studio.processId()) && visibleWindows(studio).size() == 1; }, 60000));
        return studio;
    }

    // Launches the studio, films a four-second screen take (unless told) with Ctrl+R and stops it the same way.
    QProcess& filmATake(int milliseconds = 4000)
    {
        QProcess& studio = launchShown();
        filmInShownStudio(milliseconds);
        return studio;
    }

    // Films a take of about `milliseconds` in the studio shown, which may have filmed others before.
    void filmInShownStudio(int milliseconds = 4000)
    {
        const qsizetype started = studioLog().count(QStringLiteral("capture started"));
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().count(QStringLiteral("capture started")) > started; }, 30000));
        TestEnvironment::waitUntil([] { return false; }, milliseconds);
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(takeFolder() + QStringLiteral("/.final.pending")); }, 30000));
    }

    // Hands the next take off to the folder `project` of `channel`, as the planning tool does; the studio
    // switches to the handoff's `mode`.
    void handOff(const QString& project, const QString& channel, const QString& mode = QStringLiteral("screen"))
    {
        takeFolder_ = project;
        const QString root = path(QStringLiteral("home/Videos/Olvennar"));
        QDir().mkpath(root);
        QFile handoff(root + QStringLiteral("/.next_recording.json"));
        ASSERT_TRUE(handoff.open(QIODevice::WriteOnly));
        handoff.write(QJsonDocument(QJsonObject{{QStringLiteral("video_folder"), project}, {QStringLiteral("title"), QStringLiteral("Handed off")},
                                        {QStringLiteral("mode"), mode}, {QStringLiteral("channel"), channel},
                                        {QStringLiteral("written_at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}})
                          .toJson());
    }

    // Films a screen take handed off to `project` of `channel` and kills the studio while it renders the take
    // (`whileRendering` looks first), then launches the studio again.
    void killWhileRenderingAndRelaunch(const QString& project, const QString& channel, const std::function<void()>& whileRendering = {})
    {
        handOff(project, channel);
        QProcess& studio = launchShown();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral(", channel ") + channel) && QFileInfo(project).isDir(); }, 30000));
        filmInShownStudio();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
        if (whileRendering)
            whileRendering();
        ::kill(static_cast<pid_t>(studio.processId()), SIGKILL);
        ASSERT_TRUE(studio.waitForFinished(10000));
        launch();
    }

    // Asks to quit while the take is finishing; the alert comes up over the main window.
    void askToQuit(QProcess& studio)
    {
        const QStringList windows = visibleWindows(studio);
        ASSERT_EQ(windows.size(), 1);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), windows.front()});
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return visibleWindows(studio).size() == 2; }, 10000)) << "the quit alert";
    }

    QString takeFolder_;
    std::unique_ptr<XvfbServer> display;
    QProcessEnvironment environment;
    std::vector<std::unique_ptr<QProcess>> studios;
};
