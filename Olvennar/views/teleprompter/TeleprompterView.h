#pragma once

#include "teleprompter/PrompterBarLayout.h"
#include "views/teleprompter/AutoPageColumn.h"
#include "views/teleprompter/FollowPage.h"

#include <QWidget>

class PrompterBar;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;
class QVariantAnimation;
class TeleprompterModel;

// The floating panel's page: the follow page in follow mode, the auto page in auto mode, each with its
// control bar at the bottom; both bars carry the mode and position menus. It keeps no state of its own
// beyond caches: everything it shows and changes lives in the model.
class TeleprompterView : public QWidget {
    Q_OBJECT

public:
    TeleprompterView(TeleprompterModel& model, QWidget* parent = nullptr);
    ~TeleprompterView() override;

    // The panel's 1/30 s tick: moves the auto page while it scrolls, and stops it at the end.
    void tick();
    // The wheel's amount for scroll(): precise (pixel) deltas as they are, line deltas × 10, sign flipped.
    static double wheelAmount(double verticalDelta, bool precise);
    // Ends the follow page's slide at once (grabs and tests).
    void settle();

    QMenu* modeMenu() const { return modeMenu_; }
    QMenu* positionMenu() const { return positionMenu_; }
    PrompterBar* autoBar() const { return autoBar_; }
    PrompterBar* followBar() const { return followBar_; }
    QToolButton* button(const QString& name) const;
    QSlider* speedSlider() const { return speedSlider_; }
    QSlider* fontSlider() const { return fontSlider_; }
    QSlider* opacitySlider() const { return opacitySlider_; }
    QLabel* speedLabel() const { return speedLabel_; }
    QLabel* statusLabel() const { return statusLabel_; }
    const AutoPageColumn& column() const { return column_; }
    const FollowPage& followPage() const { return followPage_; }
    double columnShift() const { return shift_; }
    const QVariantAnimation& slide() const { return *slide_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void refresh();
    void syncColumn();
    void syncShift();
    void placeBars();
    // Fits a bar's shown controls across the page: its gaps, padding, sliders and status.
    void fitBar(PrompterBar* bar);
    PrompterBarLayout::Item barItem(QWidget* control) const;
    // The status shortened with an ellipsis to a width.
    QString statusText(int width) const;
    QToolButton* menuButton(QMenu* menu, std::vector<QToolButton*>& buttons, QWidget* parent);
    QToolButton* glyphButton(const QString& name, const QString& glyph, const QString& help, QWidget* parent);
    void fillMenus();
    void paintAuto(QPainter& painter);

    TeleprompterModel& model_;
    AutoPageColumn column_;
    FollowPage followPage_;
    QVariantAnimation* slide_;
    double shift_ = 0;
    double targetShift_ = 0;
    int shiftFocus_ = -1;
    bool shiftKnown_ = false;
    QString menuState_;
    QString styledTheme_;
    QString shownStatus_;
    // What the bars were last fitted to (placeBars).
    QString barsFitted_;
    bool styled_ = false;

    PrompterBar* autoBar_;
    PrompterBar* followBar_;
    QMenu* modeMenu_ = nullptr;
    QMenu* positionMenu_ = nullptr;
    std::vector<QToolButton*> modeButtons_;
    std::vector<QToolButton*> positionButtons_;
    QSlider* speedSlider_;
    QLabel* speedLabel_;
    QSlider* fontSlider_;
    QSlider* opacitySlider_;
    QLabel* statusLabel_;
};
