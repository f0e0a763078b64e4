#pragma once

#include "ui/NoticeCard.h"

class QWidget;
class RecordingController;
struct WindowActions;

// Lists the missing microphone and camera access the next take needs, each with a "Grant" button.
class PermissionNotice : public NoticeCard {
    Q_OBJECT

public:
    PermissionNotice(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();

    static bool microphoneNeeded(const RecordingController& controller);
    static bool cameraNeeded(const RecordingController& controller);
    static bool microphoneMissing(const RecordingController& controller);
    static bool cameraMissing(const RecordingController& controller);
    static QString footnote();

private:
    QWidget* accessRow(const QString& text, const QString& name, const std::function<void()>& grant);

    RecordingController& controller_;
    QWidget* microphoneRow_;
    QWidget* cameraRow_;
};
