#pragma once

#include "shortexport/ShortTake.h"
#include "takes/CameraOnlyTake.h"

// A "Short" take: the camera filmed into "raw.mov" of a new dated short folder, then cropped and exported to
// the vertical short within the stop.
class ShortFilmTake final : public CameraOnlyTake {
    Q_OBJECT

public:
    using CameraOnlyTake::CameraOnlyTake;

    // Stored when filming begins, until the stop takes them.
    const std::optional<ShortTake::Settings>& shortTakeSettings() const { return settings_; }
    // What the stop hands the short's finish, taken out of the take: the stored settings, else (none stored)
    // the crop where the take placed it for both positions, the recorder's mirroring and rotation, no camera
    // name, and the take's script and channel; then the framing measured and a remote stop's cut.
    ShortTake::Settings takeSettingsForStop(bool byRemote);
    // ", framing: no face found", or the measured eye line and face height with their frame counts.
    static QString framingText(const std::optional<ShortFraming::MeasuredFraming>& framing, int framesAnalyzed);

protected:
    bool filmsShort() const override { return true; }
    QString logWord() const override { return QStringLiteral("short"); }
    QString fileWord() const override { return QStringLiteral("raw"); }
    void prepareFilming(const TakeStart& start, const CaptureDeviceInfo& camera, const std::optional<QSize>& previewDelivered) override;
    QCoro::Task<TakeEnd> finish(QString file, TakeFolder folder, bool byRemote) override;
    void forgetTake() override { settings_.reset(); }

private:
    std::optional<NextTake> script_;
    ShortFraming::Position position_;
    RecordingChannel channel_ = RecordingChannel::ai;
    std::optional<ShortTake::Settings> settings_;
};
