#pragma once

#include "platform/audio/MoviePlayer.h"

#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;
class Settings;

// The floating 9:16 window that replays the last short: the picture fills it, with floating controls (play or
// pause, position, time) over its foot. Made once and kept; closing it pauses and only hides it. Main thread only.
class ShortReplayWindow : public QWidget {
    Q_OBJECT

public:
    ShortReplayWindow(Settings& settings, MoviePlayer::PlaybackFactory makePlayback, QWidget* parent = nullptr);
    ~ShortReplayWindow() override;

    // Shows the window and plays the file from its start; the title names the take's folder.
    void play(const QString& path);
    MoviePlayer& player() { return player_; }
    // "Last take — " and the folder that holds the file.
    static QString titleFor(const QString& path);
    // Where the picture lands: the largest rectangle of the movie's shape inside the window.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refreshControls();

    MoviePlayer player_;
    QString failure_; // shown instead of a picture when the file could not be read
    QWidget* controls_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* time_ = nullptr;
    bool keepingShape_ = false;
};
