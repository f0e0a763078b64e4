#pragma once

#include "finishing/FinishWork.h"
#include "shortexport/ShortTake.h"

// The finish of a short take: the crop, "crop.json" and the vertical "short.mov" made from "raw.mov".
// The take's stop awaits it without a row in the finish list. Resumed after a crash from its note, which
// carries what the take knew when it stopped; resumed at launch, with no stop to show it, it is listed.
class ShortExportWork final : public FinishWork {
public:
    struct Job {
        QString title;
        QString folder;
        QString rawURL;
        ShortTake::Settings settings;
        int relaunches = 0;
    };

    // The note's kind.
    static QString kind() { return QStringLiteral("short"); }

    // Made when the take stops: a job that does not say when the take was recorded was recorded now.
    explicit ShortExportWork(Job job);
    // Nothing when the note is not one of these. Its job writes only in the folder of the short the note names.
    static std::optional<Job> fromNote(const QJsonObject& note);

    // What the last successful run made.
    const std::optional<ShortTake::Result>& result() const { return result_; }

    QString title() const override { return job_.title; }
    bool listed() const override { return job_.relaunches > 0; }
    std::optional<Note> note() const override;
    QString failureContext() const override { return QStringLiteral("camera-only stop"); }
    QCoro::Task<Outcome> run(Run run) override;

private:
    QString shortURL() const;

    Job job_;
    std::optional<ShortTake::Result> result_;
};
