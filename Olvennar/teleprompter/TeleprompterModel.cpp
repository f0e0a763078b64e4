#include "teleprompter/TeleprompterModel.h"

#include "platform/system/Settings.h"

#include <algorithm>
#include <cmath>

namespace {

const QString fontSizeKey = QStringLiteral("prompterFontSize");
const QString modeKey = QStringLiteral("prompterMode");
const QString positionKey = QStringLiteral("prompterPosition");
const QString themeKey = QStringLiteral("prompterTheme");
const QString bgOpacityKey = QStringLiteral("prompterBgOpacity");
const QString cameraSideKey = QStringLiteral("prompterCameraSide");

double storedFontSize(const Settings& settings)
{
    // Absent and unreadable (also not finite) read as 0, below the floor.
    const double stored = settings.doubleValue(fontSizeKey).value_or(0);
    if (!(stored >= TeleprompterModel::minimumStoredFontSize))
        return TeleprompterModel::defaultFontSize;
    return TeleprompterModel::shownFontSize(stored);
}

double storedBgOpacity(const Settings& settings)
{
    if (!settings.contains(bgOpacityKey))
        return TeleprompterModel::defaultBgOpacity;
    return std::clamp(settings.doubleValue(bgOpacityKey).value_or(0.0), 0.0, 1.0);
}

} // namespace

TeleprompterModel::TeleprompterModel(Settings& settings, QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , fontSize_(storedFontSize(settings))
    , mode_(PrompterChoices::modeFromStored(settings.stringValue(modeKey, {})))
    , position_(PrompterChoices::positionFromRawText(settings.stringValue(positionKey, {})).value_or(PrompterPosition::topCenter))
    , theme_(settings.stringValue(themeKey, QStringLiteral("light")))
    , bgOpacity_(storedBgOpacity(settings))
    , cameraSide_(PrompterChoices::sideFromRawText(settings.stringValue(cameraSideKey, {})).value_or(CameraSide::under))
{
}

void TeleprompterModel::call(const std::function<void()>& callback)
{
    if (callback)
        callback();
}

void TeleprompterModel::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    reloadScript();
}

void TeleprompterModel::setStyle(TeleprompterScript::Style style)
{
    if (style == style_)
        return;
    style_ = style;
    reloadScript();
}

void TeleprompterModel::reloadScript()
{
    follower_.load(text_, style_);
    bumpRevision();
    call(speechSettingsChanged);
}

void TeleprompterModel::bumpRevision()
{
    ++revision_;
    Q_EMIT changed();
}

void TeleprompterModel::setScrolling(bool scrolling)
{
    if (scrolling == isScrolling_)
        return;
    isScrolling_ = scrolling;
    Q_EMIT changed();
}

void TeleprompterModel::setSpeed(double speed)
{
    if (!std::isfinite(speed) || speed == speed_)
        return;
    speed_ = speed;
    Q_EMIT changed();
}

double TeleprompterModel::shownFontSize(double size)
{
    return size > largestDrawableFontSize ? maximumFontSize : size;
}

void TeleprompterModel::setFontSize(double size)
{
    if (!std::isfinite(size))
        return;
    size = shownFontSize(size);
    const bool differs = size != fontSize_;
    fontSize_ = size;
    settings_.setDouble(fontSizeKey, size);
    if (!differs)
        return;
    Q_EMIT changed();
    if (position_ == PrompterPosition::camera)
        call(positionChanged);
}

void TeleprompterModel::setMode(PrompterMode mode)
{
    const bool differs = mode != mode_;
    mode_ = mode;
    settings_.setString(modeKey, PrompterChoices::rawText(mode));
    if (!differs)
        return;
    isScrolling_ = false;
    Q_EMIT changed();
    call(speechSettingsChanged);
}

void TeleprompterModel::setPosition(PrompterPosition position)
{
    const bool differs = position != position_;
    position_ = position;
    settings_.setString(positionKey, PrompterChoices::rawText(position));
    if (!differs)
        return;
    Q_EMIT changed();
    if (!skipPositionCallback)
        call(positionChanged);
}

void TeleprompterModel::setSpeechStatus(const QString& status)
{
    if (status == speechStatus_)
        return;
    speechStatus_ = status;
    Q_EMIT changed();
}

void TeleprompterModel::setTheme(const QString& theme)
{
    const bool differs = theme != theme_;
    theme_ = theme;
    settings_.setString(themeKey, theme);
    if (differs)
        Q_EMIT changed();
}

void TeleprompterModel::setBgOpacity(double opacity)
{
    if (!std::isfinite(opacity))
        return;
    const bool differs = opacity != bgOpacity_;
    bgOpacity_ = opacity;
    settings_.setDouble(bgOpacityKey, opacity);
    if (differs)
        Q_EMIT changed();
}

void TeleprompterModel::setCameraSide(CameraSide side)
{
    const bool differs = side != cameraSide_;
    cameraSide_ = side;
    settings_.setString(cameraSideKey, PrompterChoices::rawText(side));
    if (!differs)
        return;
    Q_EMIT changed();
    call(positionChanged);
}

void TeleprompterModel::setContentHeight(double height)
{
    if (!std::isfinite(height))
        return;
    const double bounded = boundedOffset(offset_, height);
    if (height == contentHeight_ && bounded == offset_)
        return;
    contentHeight_ = height;
    offset_ = bounded;
    Q_EMIT changed();
}

double TeleprompterModel::boundedOffset(double proposed, double contentHeight)
{
    const double upper = std::max(contentHeight - endMargin, 0.0);
    return std::min(upper, std::max(proposed, -overscroll));
}

void TeleprompterModel::restart()
{
    isScrolling_ = false;
    offset_ = 0;
    follower_.restart();
    follower_.recomputeFocus();
    bumpRevision();
}

void TeleprompterModel::stepBox(int n)
{
    if (mode_ == PrompterMode::auto_) {
        scroll(fontSize_ * n * 4);
        return;
    }
    follower_.step(n);
    bumpRevision();
}

void TeleprompterModel::hear(const QString& text)
{
    if (mode_ != PrompterMode::follow)
        return;
    if (follower_.hear(text))
        bumpRevision();
}

void TeleprompterModel::scroll(double delta)
{
    isScrolling_ = false;
    if (std::isfinite(delta))
        offset_ = boundedOffset(offset_ + delta, contentHeight_);
    Q_EMIT changed();
}

void TeleprompterModel::autoAdvance(double delta)
{
    if (!std::isfinite(delta))
        return;
    const double bounded = boundedOffset(offset_ + delta, contentHeight_);
    if (bounded == offset_)
        return;
    offset_ = bounded;
    Q_EMIT changed();
}
