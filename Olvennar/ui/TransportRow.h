#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class QLabel;

class QPushButton;
class RecordingController;
class Spinner;
struct WindowActions;

// The take controls: Record when the studio is free; a spinner with what is happening while counting
// down, starting or finishing; Pause/Resume, Discard and Stop while a take runs.
//
// The discard confirmation belongs to the take it was opened for: it closes as soon as that take stops
// running, so its "Discard" can never reach a later take.
class TransportRow : public QWidget {
    Q_OBJECT

public:
    TransportRow(RecordingController& controller, WindowActions& actions, QWidget* parent = nullptr);

    void sync();
    // "Get ready…", "Starting…", "Finishing — painting in the overlays…" or empty.
    static QString busyLabel(const RecordingController& controller);

    // The open confirmation, or null.
    QMessageBox* discardConfirmation() const { return confirmation_; }
    bool showingDiscardConfirmation() const { return confirmation_ != nullptr; }

private:
    void askToDiscard();
    // Runs on every published change, not coalesced, so no phase step between two redraws is missed.
    void watchTake();

    RecordingController& controller_;
    WindowActions& actions_;
    QPushButton* record_;
    QWidget* busy_;
    Spinner* spinner_;
    QLabel* busyLabel_;
    QPushButton* pause_;
    QPushButton* discard_;
    QPushButton* stop_;
    QPointer<QMessageBox> confirmation_;
    // Counts the takes seen running; the confirmation remembers the one it was opened for.
    int take_ = 0;
    bool takeWasRunning_ = false;
    int confirmationTake_ = -1;
};
