#pragma once

#include <QString>

#include <optional>

// The reactions of the live views and the camera-only recorder that the controller's settings observers
// start. They belong to the panels, the framing routing and the recorders; until those are wired, and in
// headless tests, the defaults do nothing.
class ControllerHooks {
public:
    virtual ~ControllerHooks() = default;

    // Re-route the framing monitors to the right camera picture.
    virtual void updateFramingRouting() { }
    // Re-lay the camera bubble; reanchor moves it to its slot for the current look.
    virtual void applyBubbleLayout(bool reanchor) { (void)reanchor; }
    // Let the bubble camera prefer a tall format in the studio look (never during a take).
    virtual void refreshCameraFormatForLayout() { }
    virtual void cameraEnabledChanged() { }
    virtual void phoneEnabledChanged() { }
    virtual void applyPhoneLayout() { }
    virtual void phoneShowsFrameChanged(bool showsFrame) { (void)showsFrame; }
    // Mirroring of both camera recorders and the short viewer.
    virtual void applyCameraMirroring(bool mirrored) { (void)mirrored; }
    // File mirroring of the camera-only recorder in short mode.
    virtual void applyShortMirroring() { }
    virtual void setShortProfile(bool shortProfile) { (void)shortProfile; }
    virtual void setCameraOnlyMaxHeight(std::optional<int> maxHeight) { (void)maxHeight; }
    // Build the "Short frame" window, or bring the open one to the front.
    virtual void openShortPreview() { }
    // Close the short preview only ("Hide frame"); the replay stays as it is.
    virtual void closeShortPreview() { }
    // Close the short preview and pause and close the short replay.
    virtual void closeShortWindows() { }
    virtual void playShort(const QString& path) { (void)path; }
    virtual void revealFile(const QString& path) { (void)path; }
};
