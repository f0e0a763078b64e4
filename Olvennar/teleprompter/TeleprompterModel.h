#pragma once

#include "teleprompter/PrompterChoices.h"
#include "teleprompter/PrompterPlacement.h"
#include "teleprompter/ScriptFollower.h"
#include "teleprompter/TeleprompterScript.h"

#include <QObject>
#include <QString>

#include <functional>

class Settings;

// The teleprompter's one model: the script, the reading settings, the auto page's scroll and the voice-follow
// cursor. The panel's pages and the main window's section show it and write the user's choices back through
// the setters; the reading settings are stored as soon as they are set. The panel owner listens through the
// three callbacks. Main thread only.
class TeleprompterModel : public QObject {
    Q_OBJECT

public:
    static constexpr double defaultFontSize = 32;
    static constexpr double minimumStoredFontSize = 18;
    // Sizes beyond the sliders are kept as stored; only one that no page can draw is replaced by this one.
    static constexpr double maximumFontSize = 200;
    static constexpr double defaultBgOpacity = 0.55;
    static constexpr double defaultSpeed = 14;
    static constexpr double overscroll = 300;
    // The last 40 points of the column stay on the page at the end of the scroll.
    static constexpr double endMargin = 40;
    static constexpr double lineFactor = 1.42;
    // One line of a larger size is taller than the tallest panel, so no page can draw it.
    static constexpr double largestDrawableFontSize = PrompterPlacement::largestCoordinate / lineFactor;

    explicit TeleprompterModel(Settings& settings, QObject* parent = nullptr);
    // A finite size as the model keeps it: itself when a page can draw it, else maximumFontSize.
    static double shownFontSize(double size);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    TeleprompterScript::Style style() const { return style_; }
    void setStyle(TeleprompterScript::Style style);
    bool isScrolling() const { return isScrolling_; }
    void setScrolling(bool scrolling);
    double speed() const { return speed_; }
    void setSpeed(double speed);
    double fontSize() const { return fontSize_; }
    void setFontSize(double size);
    PrompterMode mode() const { return mode_; }
    void setMode(PrompterMode mode);
    PrompterPosition position() const { return position_; }
    void setPosition(PrompterPosition position);
    const QString& speechStatus() const { return speechStatus_; }
    void setSpeechStatus(const QString& status);
    const QString& theme() const { return theme_; }
    void setTheme(const QString& theme);
    double bgOpacity() const { return bgOpacity_; }
    void setBgOpacity(double opacity);
    CameraSide cameraSide() const { return cameraSide_; }
    void setCameraSide(CameraSide side);
    int revision() const { return revision_; }
    const ScriptFollower& follower() const { return follower_; }
    double offset() const { return offset_; }
    double contentHeight() const { return contentHeight_; }
    // Written by the auto page when its column's height changes; the offset is bounded again at once, so a
    // shorter script, narrower page or smaller font never leaves the page scrolled past its end.
    void setContentHeight(double height);

    // Back to the start of the script.
    void restart();
    // By n boxes: four text sizes of scroll per box in auto mode, n cards in follow mode.
    void stepBox(int n);
    // Recognised speech; follow mode only.
    void hear(const QString& text);
    // The user's own scrolling: stops the auto scroll.
    void scroll(double delta);
    // The auto page's tick.
    void autoAdvance(double delta);
    // The offset bounds: −overscroll below, contentHeight − endMargin (at least 0) above; the upper one wins.
    static double boundedOffset(double proposed, double contentHeight);

    // Installed once by the panel owner.
    std::function<void()> beginCameraSpot;
    std::function<void()> positionChanged;
    std::function<void()> speechSettingsChanged;
    // While true a change of position does not call positionChanged.
    bool skipPositionCallback = false;

Q_SIGNALS:
    // Any published value changed.
    void changed();

private:
    void reloadScript();
    void bumpRevision();
    static void call(const std::function<void()>& callback);

    Settings& settings_;
    QString text_;
    TeleprompterScript::Style style_ = TeleprompterScript::Style::script;
    bool isScrolling_ = false;
    double speed_ = defaultSpeed;
    double fontSize_;
    PrompterMode mode_;
    PrompterPosition position_;
    QString speechStatus_;
    QString theme_;
    double bgOpacity_;
    CameraSide cameraSide_;
    int revision_ = 0;
    ScriptFollower follower_;
    double offset_ = 0;
    double contentHeight_ = 0;
};
