#pragma once

#include <QString>

// Settings keys the controller reads at construction and writes on change.
struct RecordingControllerKeys {
    static QString shortSafeZones() { return QStringLiteral("shortSafeZones"); }
    static QString shortFramingGuide() { return QStringLiteral("shortFramingGuide"); }
    static QString shortMirrorFile() { return QStringLiteral("shortMirrorFile"); }
    static QString framingHintsOnBubble() { return QStringLiteral("framingHintsOnBubble"); }
    static QString cameraGrade() { return QStringLiteral("cameraGrade.2026-10-22"); }
    static QString frameFocusedWindow() { return QStringLiteral("frameFocusedWindow"); }
    static QString export4K() { return QStringLiteral("export4K"); }
    static QString clickHighlight() { return QStringLiteral("clickHighlight.2026-10-30"); }
    static QString ownCursor() { return QStringLiteral("ownCursor"); }
    static QString zoomMode() { return QStringLiteral("zoomMode"); }
    static QString screenLayout() { return QStringLiteral("screenLayout"); }
    static QString faceLayout() { return QStringLiteral("faceLayout"); }
    static QString studioBackground() { return QStringLiteral("studioBackground"); }
    static QString layoutMode() { return QStringLiteral("layoutMode"); }
    static QString shortCropX() { return QStringLiteral("shortCropX"); }
    static QString shortCropY() { return QStringLiteral("shortCropY"); }
    static QString preferredMicName() { return QStringLiteral("preferredMicName"); }
    static QString shortIgnoredNextTake() { return QStringLiteral("shortIgnoredNextTake"); }
    static QString shortAutoSwitchedHandoff() { return QStringLiteral("shortAutoSwitchedHandoff"); }
    static QString longformIgnoredNextRecording() { return QStringLiteral("longformIgnoredNextRecording"); }
    static QString longformHandledNextRecording() { return QStringLiteral("longformHandledNextRecording"); }
};
