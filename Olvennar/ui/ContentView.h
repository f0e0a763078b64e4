#pragma once

#include "ui/WindowActions.h"

#include <QPointer>
#include <QWidget>

class CameraOnlySection;
class CameraSection;
class DividedColumn;
class HeaderBar;
class JobQueuePanel;
class MicrophoneNotice;
class ModeSection;
class MotionSection;
class PermissionNotice;
class PermissionPrompt;
class PhoneSection;
class QScrollArea;
class QVBoxLayout;
class RecordingController;
class RemoteSection;
class ScreenSection;
class ShortSection;
class SectionSlot;
class StatusFooter;
class TeleprompterSection;
class TeleprompterWindow;
class TransportRow;
class VoiceOnlySection;

// The main window's content: one 400-wide column of header, settings (scrolling beyond 430 px) and the
// transport with the status line. Every part shows the controller's published state; a change redraws
// once per turn of the event loop, and a redraw never writes a setting back.
//
// Every section stands in its slot (slot(...)->setSection(...)); a slot shows only in its mode and only
// while it holds a section.
class ContentView : public QWidget {
    Q_OBJECT

public:
    enum class Slot { cameraOnly, voiceOnly, short_, motion, teleprompter, remote, finishQueue, enhanceQueue };

    explicit ContentView(RecordingController& controller, QWidget* parent = nullptr);
    ~ContentView() override;

    static constexpr int contentWidth = 400;
    static constexpr int maximumScrollHeight = 430;

    WindowActions& actions() { return actions_; }
    SectionSlot* slot(Slot slot) const;
    // Without screen access in "Screen" mode a prompt replaces the settings.
    bool showsPermissionPrompt() const;
    QScrollArea* scrollArea() const { return scroll_; }
    TransportRow* transport() const { return transport_; }
    JobQueuePanel* finishQueuePanel() const;
    JobQueuePanel* enhanceQueuePanel() const;

    // The teleprompter's section, over the one teleprompter of the run; its switch shows the panel on the
    // selected display's screen.
    void placeTeleprompter(TeleprompterWindow& teleprompter);

    // Redraws now (normally the coalesced redraw does this).
    void sync();

    // The height at the fixed width, wrapped texts included, so the window fits its content exactly.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleSync();
    void fitScrollArea();
    void placeQueuePanels();
    void revealFile(const QString& path);

    RecordingController& controller_;
    WindowActions actions_;
    bool syncPending_ = false;
    bool fitPending_ = false;

    HeaderBar* header_;
    QWidget* promptBranch_;
    PermissionPrompt* prompt_;
    // The prompt branch has its own mode section, so a mode that needs no screen access can be chosen.
    ModeSection* promptMode_;
    QScrollArea* scroll_;
    QWidget* scrollContent_;
    QVBoxLayout* scrollLayout_;
    MicrophoneNotice* microphoneNotice_;
    PermissionNotice* permissionNotice_;
    ModeSection* mode_;
    DividedColumn* sections_;
    ScreenSection* screen_;
    CameraSection* camera_;
    PhoneSection* phone_;
    std::vector<SectionSlot*> slots_;
    // The sections this view placed; a slot given another section drops its own.
    QPointer<CameraOnlySection> cameraOnly_;
    QPointer<ShortSection> short_;
    QPointer<VoiceOnlySection> voiceOnly_;
    QPointer<MotionSection> motion_;
    QPointer<TeleprompterSection> teleprompter_;
    QPointer<RemoteSection> remote_;
    QPointer<JobQueuePanel> finishPanel_;
    QPointer<JobQueuePanel> enhancePanel_;
    TransportRow* transport_;
    StatusFooter* footer_;
};
