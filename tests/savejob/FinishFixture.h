#pragma once

#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "finishing/SaveJobHandover.h"
#include "platform/media/ExportGate.h"
#include "finishing/SaveWork.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeFinishingTools.h"
#include "support/FakeScheduler.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// A controller with fake finishing tools and a hand-driven clock, over a take folder in the sandbox.
class FinishTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        settings->setString(QStringLiteral("projectsRoot"), path(QStringLiteral("Brain")));
        tools = std::make_shared<FakeFinishingTools>();
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.scheduler = &clock;
        controller = std::make_unique<RecordingController>(platform);
        controller->finishQueue().setFinishingTools(tools);
        QDir().mkpath(take());
    }
    void TearDown() override
    {
        controller.reset();
        // The gate is process-wide; a test that ends mid-take must not hold the next one's exports.
        ExportGate::shared().setPaused(false);
        SandboxTest::TearDown();
    }

    QString take(const QString& name = {}) const { return name.isEmpty() ? path(QStringLiteral("video 1")) : path(QStringLiteral("video 1/") + name); }
    void touch(const QString& name, const QByteArray& bytes = "x") const
    {
        QFile file(take(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read(const QString& file) const
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    QJsonObject readJson(const QString& file) const { return QJsonDocument::fromJson(read(file)).object(); }

    // The stop's hand-over for take `suffix`, with a camera movie when asked.
    SaveJobHandover saveJob(const QString& suffix, bool withCamera, bool byRemote = false)
    {
        SaveJobHandover job;
        job.id = QUuid::createUuid();
        job.title = QStringLiteral("video 1 · take ") + (suffix.isEmpty() ? QStringLiteral("1") : suffix.mid(1));
        job.request.rawURL = take(QStringLiteral("raw") + suffix + QStringLiteral(".mov"));
        job.request.layout = ScreenLayout::studio;
        if (withCamera) {
            job.request.cameraURL = take(QStringLiteral("camera") + suffix + QStringLiteral(".mov"));
            job.faceURL = take(QStringLiteral("face") + suffix + QStringLiteral(".mov"));
        }
        job.takeJSON = take(QStringLiteral("take") + suffix + QStringLiteral(".json"));
        job.previewURL = take(QStringLiteral("final") + suffix + QStringLiteral(".mov"));
        job.duration = 62.0;
        job.cameraSegments = {{0.0, 12.4}, {15.0, 60.2}};
        job.look = controller->harnessLook();
        job.stopSidecar = take(QStringLiteral("stop") + suffix + QStringLiteral(".json"));
        job.byRemote = byRemote;
        job.summary = QStringLiteral("take") + suffix;
        return job;
    }
    // What the stop does: lists the row, then hands over.
    void stopTake(const SaveJobHandover& job)
    {
        auto rows = controller->finishJobs();
        rows.push_back(FinishJob{job.id, job.title, {}});
        controller->finishQueue().setFinishJobs(rows);
        controller->finishQueue().submit(std::make_shared<SaveWork>(job), job.id);
    }
    void endTake()
    {
        controller->setPhase(RecordingPhase::recording());
        controller->setPhase(RecordingPhase::idle());
    }
    const FinishJob& row(size_t index) const { return controller->finishJobs().at(index); }

    FakeAccessProbe access;
    FakeScheduler clock;
    std::shared_ptr<FakeFinishingTools> tools;
    std::unique_ptr<RecordingController> controller;
};
