#pragma once

#include "framing/FramingCheckDisplay.h"

#include <QWidget>

#include <functional>

// The "Check framing" window: 960×760 (at least 560×520), above other windows, kept when closed so its owner
// decides when it goes. It only reports its closing, once per showing, through onClose.
class FramingWindow : public QWidget, public FramingCheckDisplay {
    Q_OBJECT

public:
    // `content` becomes the window's only child, filling it.
    explicit FramingWindow(QWidget* content);

    std::function<void()> onClose;

    QWidget* content() const { return content_; }
    void setOnClose(std::function<void()> reaction) override { onClose = std::move(reaction); }
    // Puts the window in the middle of the screen it is on (the primary one before it is shown).
    void centreOnScreen() override;
    void bringForward() override
    {
        show();
        raise();
        activateWindow();
    }
    bool isShown() const override { return isVisible(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* content_;
    bool closeReported_ = false;
};
