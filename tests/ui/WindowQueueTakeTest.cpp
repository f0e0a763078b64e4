// Two real screen takes in a row, clicked in the window: the first take's row finishes only after the
// recording break (it waits while the second films) and then offers Reveal; the second, whose raw file is
// gone before its render, fails and offers Retry.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "XPointer.h"

#include "app/LinuxTakeServices.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "finishing/SaveJobHandover.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeVideoDeviceCatalog.h"
#include "support/MovieProbe.h"
#include "support/TestEnvironment.h"
#include "ui/ContentView.h"
#include "ui/JobQueuePanel.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollArea>
#include <QWindow>

#include <qcorotask.h>

#include <gtest/gtest.h>

#include <iostream>

namespace {

class WindowQueueTakeTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (const QString missing = TestEnvironment::missingForDrivenTakes(); !missing.isEmpty())
            GTEST_SKIP() << qUtf8Printable(missing);
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Takes")));
        services = std::make_unique<LinuxTakeServices>(LinuxTakeServices::Devices{&cameras, [](const QString&) { return CameraHubRegistry::Result{}; }});
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = services.get();
        controller = std::make_unique<RecordingController>(platform);
        controller->setCountdownSeconds(0);
        controller->setOwnCursor(true); // the cursor is drawn back: a real render
        QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        ASSERT_FALSE(controller->displays().empty());
        view = std::make_unique<ContentView>(*controller);
        view->actions().revealInFileManager = [this](const QString& file) { revealed << file; };
        view->move(860, 20);
        view->show();
        ASSERT_TRUE(TestEnvironment::waitUntil([this] { return view->windowHandle() && view->windowHandle()->isExposed(); }, 3000));
    }

    void TearDown() override
    {
        view.reset();
        controller.reset();
        services.reset();
        SandboxTest::TearDown();
    }

    QWidget* shown(const QString& name) const
    {
        for (QWidget* widget : view->findChildren<QWidget*>(name)) {
            if (widget->isVisibleTo(view.get()))
                return widget;
        }
        return nullptr;
    }
    void click(QWidget* button)
    {
        ASSERT_NE(button, nullptr) << "phase " << static_cast<int>(controller->phase().kind()) << " " << controller->phase().payload().toStdString();
        ASSERT_TRUE(XPointer::click(button)) << "covered: " << button->objectName().toStdString() << " at y "
                                             << button->mapToGlobal(QPoint(0, 0)).y() << " window height " << view->height();
    }
    bool waitForPhase(RecordingPhase::Kind kind, int milliseconds = 10000)
    {
        return TestEnvironment::waitUntil([&] { return controller->phase().kind() == kind; }, milliseconds);
    }
    // Stopped: idle again, or showing the finished file.
    bool waitForStopped(int milliseconds = 15000)
    {
        return TestEnvironment::waitUntil([&] { return !controller->phase().isBusy(); }, milliseconds);
    }
    // A short take: Record, a second and a half, Stop.
    void film()
    {
        click(shown(QStringLiteral("recordButton")));
        ASSERT_TRUE(waitForPhase(RecordingPhase::Kind::recording)) << controller->phase().payload().toStdString();
        ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 1.5; }, 5000));
        ASSERT_TRUE(TestEnvironment::waitUntil([this] { return shown(QStringLiteral("stopButton")) != nullptr; }, 2000));
        click(shown(QStringLiteral("stopButton")));
        ASSERT_TRUE(waitForStopped()) << static_cast<int>(controller->phase().kind());
    }
    // The row of the n-th render job (a stopped take lists its save row, then its render row "… video").
    int renderIndex(int n) const
    {
        const auto& jobs = controller->finishJobs();
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (jobs[i].title.endsWith(QStringLiteral(" video")) && n-- == 0)
                return static_cast<int>(i);
        }
        return 1000;
    }
    const JobRow* render(int n) const { return row(renderIndex(n)); }
    const JobRow* row(int index) const
    {
        const auto& rows = view->finishQueuePanel()->rows();
        return index < static_cast<int>(rows.size()) ? &rows[static_cast<size_t>(index)] : nullptr;
    }
    QWidget* rowWidget(int index) const
    {
        QList<QWidget*> rows;
        for (QWidget* widget : view->finishQueuePanel()->scrollArea()->widget()->findChildren<QWidget*>(QStringLiteral("jobRow"), Qt::FindDirectChildrenOnly)) {
            if (!widget->isHidden())
                rows << widget;
        }
        return index < rows.size() ? rows[index] : nullptr;
    }

    FakeAccessProbe access;
    FakeVideoDeviceCatalog cameras;
    std::unique_ptr<LinuxTakeServices> services;
    std::unique_ptr<RecordingController> controller;
    std::unique_ptr<ContentView> view;
    QStringList revealed;
};

TEST_F(WindowQueueTakeTest, aRowWaitsWhileTheNextTakeFilmsThenOffersRevealAndAFailedRowOffersRetry)
{
    film();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return render(0) != nullptr; }, 5000));
    // Working: right after a take it already waits for the break, with nothing to press.
    EXPECT_EQ(controller->finishJobs()[static_cast<size_t>(renderIndex(0))].state.kind, FinishJob::State::Kind::working);
    EXPECT_TRUE(render(0)->buttons.empty()) << render(0)->text.toStdString();

    // The second take films within the break: the first render waits for it.
    click(shown(QStringLiteral("recordButton")));
    ASSERT_TRUE(waitForPhase(RecordingPhase::Kind::recording)) << static_cast<int>(controller->phase().kind());
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return render(0) && render(0)->symbol == QStringLiteral("pause.circle"); }, 6000))
        << (render(0) ? render(0)->text.toStdString() : "");
    EXPECT_TRUE(render(0)->text.contains(QStringLiteral(" waits: it finishes when you stop recording for 5 s ("))) << render(0)->text.toStdString();
    EXPECT_TRUE(rowWidget(renderIndex(0))->findChildren<QPushButton*>().isEmpty());
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 1.5; }, 5000));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return shown(QStringLiteral("stopButton")) != nullptr; }, 2000));
    click(shown(QStringLiteral("stopButton")));
    ASSERT_TRUE(waitForStopped());
    // The second take's render will find its own screen movie cut to nothing (a raw deleted instead is no
    // longer the take's, and offers no Retry).
    const QString secondRaw = QDir(path(QStringLiteral("Takes/video 1"))).filePath(QStringLiteral("raw-2.mov"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return render(1) != nullptr; }, 5000));
    ASSERT_TRUE(QFile::resize(secondRaw, 100));

    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return render(0) && render(0)->buttons.size() == 2 && render(1) && render(1)->buttons.size() == 2; }, 60000))
        << (render(0) ? render(0)->text.toStdString() : "") << " / " << (render(1) ? render(1)->text.toStdString() : "");
    EXPECT_TRUE(render(0)->text.endsWith(QStringLiteral(" is ready"))) << render(0)->text.toStdString();
    EXPECT_TRUE(render(1)->text.endsWith(QStringLiteral(" (the raw files stay in the folder)"))) << render(1)->text.toStdString();
    TestEnvironment::waitUntil([] { return false; }, 100);
    auto* reveal = rowWidget(renderIndex(0))->findChild<QPushButton*>(QStringLiteral("revealButton"));
    ASSERT_NE(reveal, nullptr);
    click(reveal);
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return !revealed.isEmpty(); }, 3000));
    EXPECT_EQ(revealed, QStringList({render(0)->revealPath}));
    EXPECT_TRUE(render(0)->revealPath.endsWith(QStringLiteral("final.mov")));
    EXPECT_TRUE(QFile::exists(render(0)->revealPath));
    EXPECT_NE(rowWidget(renderIndex(1))->findChild<QPushButton*>(QStringLiteral("retryButton")), nullptr);
}

TEST_F(WindowQueueTakeTest, aRetryPressedWhileTheNextTakeFilmsInTheNameARenameFreedFinishesEachTakeWithItsOwnPicture)
{
    const QString first = path(QStringLiteral("Takes/video 1"));
    film();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return render(0) != nullptr; }, 5000));
    // Its render fails at its end: a folder stands where its final goes.
    ASSERT_TRUE(QDir().mkpath(first + QStringLiteral("/final.mov")));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return render(0) && render(0)->buttons.size() == 2; }, 60000)) << (render(0) ? render(0)->text.toStdString() : "");
    ASSERT_TRUE(QDir(first + QStringLiteral("/final.mov")).removeRecursively());

    // The take's folder is renamed, and the next take, longer, films in the name the rename freed; the failed
    // row's Retry is pressed while it films.
    const QString renamed = path(QStringLiteral("Takes/intro take"));
    ASSERT_TRUE(QDir().rename(first, renamed));
    click(shown(QStringLiteral("recordButton")));
    ASSERT_TRUE(waitForPhase(RecordingPhase::Kind::recording)) << controller->phase().payload().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(first + QStringLiteral("/raw.mov")); }, 10000))
        << "the next take films in the freed name, not in " << QDir(path(QStringLiteral("Takes"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(QLatin1Char(',')).toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 0.5; }, 5000));
    auto* retry = rowWidget(renderIndex(0))->findChild<QPushButton*>(QStringLiteral("retryButton"));
    ASSERT_NE(retry, nullptr);
    click(retry);
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->elapsed() > 4.5; }, 10000));
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return shown(QStringLiteral("stopButton")) != nullptr; }, 2000));
    click(shown(QStringLiteral("stopButton")));
    ASSERT_TRUE(waitForStopped());

    const auto seconds = [](const QString& movie) { return MovieProbe::number(MovieProbe::streams(movie)[QStringLiteral("format")].toObject(), QStringLiteral("duration")); };
    for (const QString& take : {renamed, first}) {
        SCOPED_TRACE(take.toStdString());
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(take + QStringLiteral("/Raw/raw.mov")) && QFileInfo::exists(take + QStringLiteral("/final.mov")); }, 120000))
            << (render(0) ? render(0)->text.toStdString() : "") << " / " << (render(1) ? render(1)->text.toStdString() : "");
        const double raw = seconds(take + QStringLiteral("/Raw/raw.mov"));
        const double final = seconds(take + QStringLiteral("/final.mov"));
        std::cout << QFileInfo(take).fileName().toStdString() << ": raw " << raw << " s, final " << final << " s\n";
        EXPECT_NEAR(final, raw, 0.5);
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/.final.pending")));
    }
    EXPECT_GT(seconds(first + QStringLiteral("/final.mov")), seconds(renamed + QStringLiteral("/final.mov")) + 1.5) << "each final is its own take's";
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return render(0) && render(1) && render(0)->buttons.size() == 2 && render(1)->buttons.size() == 2; }, 10000));
    EXPECT_TRUE(render(0)->text.endsWith(QStringLiteral(" is ready"))) << render(0)->text.toStdString();
    EXPECT_TRUE(render(1)->text.endsWith(QStringLiteral(" is ready"))) << render(1)->text.toStdString();
}

} // namespace
