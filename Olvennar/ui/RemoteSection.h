#pragma once

#include "capture/RemoteButton.h"
#include "ui/WindowStyle.h"

#include <QWidget>

class IconLabel;
class QLabel;
class QPushButton;
class RecordingController;

// "Bluetooth button": the learned clicker's status, the one action that fits it (learn, cancel, forget,
// or allow input access and re-arm), and what a press does. Dimmed and deaf while the studio is busy.
class RemoteSection : public QWidget {
    Q_OBJECT

public:
    explicit RemoteSection(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

    // The status indicator: text, symbol (empty for none) and tone.
    struct Indicator {
        QString text;
        QString symbol;
        WindowStyle::Tone tone;
        friend bool operator==(const Indicator&, const Indicator&) = default;
    };
    static Indicator indicator(const RemoteButton::Status& status);
    // The buttons shown for a status, by object name, in order.
    static QStringList buttons(const RemoteButton::Status& status);
    // What a press does; the trim is the one a remote stop really cuts.
    static QString explanation();
    // Said when learning finds no input device at all on the machine.
    static QString noInputDevices();

private:
    void allowInputAccess();

    RecordingController& controller_;
    IconLabel* indicator_;
    QLabel* plainIndicator_;
    QPushButton* learn_;
    QPushButton* cancel_;
    QPushButton* forget_;
    QWidget* permissionRow_;
};
