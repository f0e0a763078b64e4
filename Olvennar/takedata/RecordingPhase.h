#pragma once

#include <QString>

// The take state. `finished` carries the finished file's path, `failed` the sentence shown; equality
// compares the case and its payload.
class RecordingPhase {
public:
    enum class Kind { idle, countingDown, preparing, recording, paused, finishing, finished, failed };

    RecordingPhase() = default;
    static RecordingPhase idle() { return RecordingPhase(Kind::idle); }
    static RecordingPhase countingDown() { return RecordingPhase(Kind::countingDown); }
    static RecordingPhase preparing() { return RecordingPhase(Kind::preparing); }
    static RecordingPhase recording() { return RecordingPhase(Kind::recording); }
    static RecordingPhase paused() { return RecordingPhase(Kind::paused); }
    static RecordingPhase finishing() { return RecordingPhase(Kind::finishing); }
    static RecordingPhase finished(const QString& path) { return RecordingPhase(Kind::finished, path); }
    static RecordingPhase failed(const QString& message) { return RecordingPhase(Kind::failed, message); }

    Kind kind() const { return kind_; }
    // The finished file's path or the failure sentence; empty for the other cases.
    const QString& payload() const { return payload_; }

    // A take is filming while counting down, preparing, recording or paused.
    bool isFilming() const
    {
        return kind_ == Kind::countingDown || kind_ == Kind::preparing || kind_ == Kind::recording || kind_ == Kind::paused;
    }
    // A take is under way and not yet stopping.
    bool isRolling() const { return kind_ == Kind::recording || kind_ == Kind::paused; }
    // Filming or finishing: the studio cannot start another take.
    bool isBusy() const { return isFilming() || kind_ == Kind::finishing; }

    friend bool operator==(const RecordingPhase&, const RecordingPhase&) = default;

private:
    explicit RecordingPhase(Kind kind, QString payload = {})
        : kind_(kind)
        , payload_(std::move(payload))
    {
    }

    Kind kind_ = Kind::idle;
    QString payload_;
};
