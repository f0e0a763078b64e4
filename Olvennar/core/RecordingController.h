#pragma once

#include "core/Platform.h"

#include <QObject>
#include <QString>

#include <qcorotask.h>

class QTimer;

// The one controller of the process: owns every recorder, tracker, panel and job queue and publishes the
// state every view shows. Lives on the GUI thread from first need to the end of the process.
class RecordingController : public QObject {
    Q_OBJECT

public:
    explicit RecordingController(Platform platform, QObject* parent = nullptr);
    ~RecordingController() override;

    Platform& platform() { return platform_; }

    // Finish jobs still working (the quit guard asks).
    int finishingCount() const;
    // Checks access and lists displays and devices.
    QCoro::Task<> checkPermissionAndLoadDisplays();

    QString destinationName() const { return destinationName_; }
    void refreshDestinationName();

    // Refreshes the handoff now and keeps one 2.0 s poll running.
    void watchNextTake(bool watch);
    void refreshNextTake();
    int handoffRefreshCount() const { return handoffRefreshCount_; }
    bool isWatchingNextTake() const { return nextTakeWatch_ != nullptr; }

    static QString launchLine(const QString& version, const QString& screen, const QString& microphone, const QString& camera);

Q_SIGNALS:
    void changed();

private:
    void writeLaunchLine();

    Platform platform_;
    QString destinationName_;
    QTimer* nextTakeWatch_ = nullptr;
    int handoffRefreshCount_ = 0;
};
