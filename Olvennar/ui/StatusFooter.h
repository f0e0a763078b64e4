#pragma once

#include <QWidget>

class IconLabel;
class QLabel;
class QPushButton;
class RecordingController;

// The status line under the transport, one of four forms by phase: where the finished file was saved
// (with Reveal, and Play in "Short", and what of the take it holds when not all of it), a failure with
// Dismiss (and Retry for a failed render), the pause note, or where the next take goes
// with the hot keys; above it, information about the last take (frames lost) until the next one starts.
class StatusFooter : public QWidget {
    Q_OBJECT

public:
    enum class Form { saved, failure, paused, destination };

    explicit StatusFooter(RecordingController& controller, QWidget* parent = nullptr);

    void sync();

    static Form form(const RecordingController& controller);
    // "→ " + the next take's folder, and "  ·  N zoom mark(s)" once a mark is set.
    static QString destinationLine(const RecordingController& controller);
    static QString keyLine();
    // "Saved to " + the finished file's folder, home as "~", then the note of a partly finished take.
    static QString savedText(const QString& finishedFile, const QString& note = {});

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The key line stands beside the destination when both fit, else under it.
    void placeKeyLine();

    RecordingController& controller_;
    QWidget* saved_;
    IconLabel* savedLabel_;
    QPushButton* play_;
    QWidget* failure_;
    IconLabel* failureLabel_;
    QPushButton* retry_;
    IconLabel* notice_;
    IconLabel* pauseNote_;
    QWidget* destination_;
    QLabel* destinationLabel_;
    QLabel* keys_;
    bool keysBeside_ = true;
};
