#pragma once

#include "shorts/ShortPreviewPresenter.h"

#include <QWidget>

#include <functional>

class ChannelChip;
class ElidedLabel;
class QCheckBox;
class QLabel;
class QPushButton;
class RecordingController;
class SegmentedControl;
class ShortFrameStage;
class ShortFramingBadge;
class ShortPreviewSources;

// The floating "Short frame" window: header (timer, channel, lock state, view choice, safe zones and guide
// switches), the script row, the stage with the framing badge and the bottom row (feed, "Centre", "Last
// take"). It keeps only the view choice; everything else is the controller's, re-read on every change, and
// every button is a controller operation. Main thread only.
class ShortPreviewWindow : public QWidget {
    Q_OBJECT

public:
    ShortPreviewWindow(RecordingController& controller, ShortPreviewSources& sources, QWidget* parent = nullptr);
    ~ShortPreviewWindow() override;

    // Run once the window has closed, by any means.
    std::function<void()> onClose;

    bool viewerView() const { return viewerView_; }
    void setViewerView(bool viewerView);

    // The parts, for the owner's tests.
    QLabel& timer() const { return *timer_; }
    ChannelChip& chip() const { return *chip_; }
    ElidedLabel& lockText() const { return *lockText_; }
    SegmentedControl& viewChoice() const { return *viewChoice_; }
    QCheckBox& safeZones() const { return *safeZones_; }
    QCheckBox& framingGuide() const { return *framingGuide_; }
    QWidget& scriptRow() const { return *scriptRow_; }
    ElidedLabel& scriptTitle() const { return *scriptTitle_; }
    QPushButton& clearScript() const { return *clearScript_; }
    ShortFrameStage& stage() const { return *stage_; }
    ShortFramingBadge& badge() const { return *badge_; }
    ElidedLabel& frameText() const { return *frameText_; }
    QPushButton& centre() const { return *centre_; }
    QPushButton& lastTake() const { return *lastTake_; }

    // Re-reads the controller and the monitor.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildScriptRow();
    QWidget* buildStage();
    QWidget* buildBottomRow();
    void placeBadge();

    RecordingController& controller_;
    ShortPreviewSources& sources_;
    bool viewerView_ = false;
    bool refreshQueued_ = false;
    QLabel* timer_ = nullptr;
    ChannelChip* chip_ = nullptr;
    QLabel* lockIcon_ = nullptr;
    ElidedLabel* lockText_ = nullptr;
    SegmentedControl* viewChoice_ = nullptr;
    QCheckBox* safeZones_ = nullptr;
    QCheckBox* framingGuide_ = nullptr;
    QWidget* scriptRow_ = nullptr;
    ElidedLabel* scriptTitle_ = nullptr;
    QPushButton* clearScript_ = nullptr;
    ShortFrameStage* stage_ = nullptr;
    ShortFramingBadge* badge_ = nullptr;
    ElidedLabel* frameText_ = nullptr;
    QPushButton* centre_ = nullptr;
    QPushButton* lastTake_ = nullptr;
};
