#pragma once

#include "ui/NoticeCard.h"

class RecordingController;
class WarningRow;

// Says that a better microphone than the selected one is plugged in, while the take needs a microphone.
class MicrophoneNotice : public NoticeCard {
    Q_OBJECT

public:
    explicit MicrophoneNotice(RecordingController& controller, QWidget* parent = nullptr);

    void sync();
    static bool isWanted(const RecordingController& controller);
    static QString message(const RecordingController& controller);

private:
    RecordingController& controller_;
    WarningRow* row_;
};
