#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// Measures how long the GUI thread was kept from its event loop during a window (a take's start, say): a
// fast timer on the GUI thread notes how late each of its ticks comes. A diagnostic, off unless the
// environment sets OLVENNAR_GUI_STALLS; each window ends with one log line.
//
// Threading contract: GUI thread only.
class GuiStallProbe : public QObject {
public:
    explicit GuiStallProbe(bool enabled, QObject* parent = nullptr);
    static bool enabledByEnvironment();

    bool isActive() const { return active_; }
    // Starts a window; a window still open is ended first.
    void begin(const QString& label);
    // Ends the window, logs it and answers its longest wait in milliseconds; nothing when no window was open.
    std::optional<double> end();

private:
    void sample();

    static constexpr int intervalMs = 1;
    const bool enabled_;
    QTimer timer_;
    QString label_;
    bool active_ = false;
    double last_ = 0;
    double longest_ = 0;
    int samples_ = 0;
};
