#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <optional>

class QWidget;
class Settings;

// Keeps a top-level window's frame under a name in the settings, as "x y width height" in desktop pixels:
// the window starts centred on its screen, a saved frame then replaces that place, and every later move or
// resize is stored. A saved frame that no longer fits any screen is ignored. Main thread only.
class WindowFrameAutosave : public QObject {
    Q_OBJECT

public:
    WindowFrameAutosave(QWidget& window, Settings& settings, QString name);

    static QString settingsKey(const QString& name) { return QStringLiteral("windowFrame.") + name; }
    // The frame a stored "x y width height" names, when all four are numbers within the window system's
    // 16-bit coordinates (at most 32767 either way); nothing otherwise.
    static std::optional<QRect> storedFrame(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restore();
    void save();

    QWidget& window_;
    Settings& settings_;
    QString name_;
    bool restoring_ = true;
};
