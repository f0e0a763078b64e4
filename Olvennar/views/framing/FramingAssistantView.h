#pragma once

#include "framing/FramingReport.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <vector>

class FramingMonitor;
class FramingStage;
class FramingStatusBadge;
class QLabel;
class QPushButton;

// The "Check framing" window's content: the overall verdict with the view toggle, the stage with the
// selected crop's own verdict in its corner, a strip of one card per crop (from two crops on) and a footer.
// It re-reads the monitor once per event-loop turn after a change. `selected` and `sensor` are this view's
// own state: a new view starts with the first crop in the crop view. Main thread.
class FramingAssistantView : public QWidget {
    Q_OBJECT

public:
    // A null still shows the monitor's live picture.
    explicit FramingAssistantView(FramingMonitor& monitor, QImage still = {}, QWidget* parent = nullptr);
    ~FramingAssistantView() override;

    int selected() const { return selected_; }
    bool sensor() const { return sensor_; }
    // A card's click: shows that crop on the stage.
    void select(int index);
    // Reads the monitor now.
    void refresh();

    // The parts, for the window's tests.
    FramingStatusBadge& headerBadge() const { return *headerBadge_; }
    QLabel& countNote() const { return *countNote_; }
    QPushButton& viewToggle() const { return *toggle_; }
    // 1 while the toggle can be pressed, 0.35 while the first crop already is the whole picture.
    double viewToggleOpacity() const;
    FramingStage& stage() const { return *stage_; }
    // The selected crop's own verdict over the stage's corner, and its badge.
    QWidget& cornerBadge() const { return *corner_; }
    FramingStatusBadge& cornerStatus() const { return *cornerStatus_; }
    QWidget& strip() const { return *strip_; }
    int cardCount() const { return static_cast<int>(cards_.size()); }
    // The card at the position: its thumbnail, its hint line and whether it shows as selected.
    FramingStage& cardThumbnail(int index) const;
    QString cardHint(int index) const;
    bool cardHighlighted(int index) const;
    QLabel& caption() const { return *caption_; }

private:
    class CropCard;
    class StageArea;
    void scheduleRefresh();
    void toggleSensor();
    void refreshStrip(const FramingReport& report, int index);

    QPointer<FramingMonitor> monitor_;
    QImage still_;
    int selected_ = 0;
    bool sensor_ = false;
    bool refreshPending_ = false;
    FramingStatusBadge* headerBadge_;
    QLabel* countNote_;
    QPushButton* toggle_;
    FramingStage* stage_;
    QWidget* corner_;
    FramingStatusBadge* cornerStatus_;
    QWidget* strip_;
    std::vector<CropCard*> cards_;
    QLabel* caption_;
};
