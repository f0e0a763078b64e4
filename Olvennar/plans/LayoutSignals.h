#pragma once

#include "plans/LayoutSignalsMovieSource.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

// When the speaker talks and when the screen changes during a take, measured once from the screen
// recording. A signal that cannot be measured is absent, never an error: the layout planner then has no
// evidence from it.
struct LayoutSignals {
    static constexpr double defaultScreenStep = 0.5;
    static constexpr double defaultSpeechStep = 0.1;
    static constexpr int speechSampleRate = 8000;

    std::optional<std::vector<bool>> screen; // one flag per screenStep from 0: the screen changed noticeably
    double screenStep = defaultScreenStep;
    std::optional<std::vector<bool>> speech; // one flag per speechStep from 0: the speaker talks
    double speechStep = defaultSpeechStep;

    // Measures the screen recording at `rawPath`; never fails, a signal that cannot be read is absent.
    static LayoutSignals load(const QString& rawPath);
    static LayoutSignals load(LayoutSignalsMovieSource& movie);

    // Share of talking steps in [from, to); absent without a speech signal or for an empty span.
    std::optional<double> talkingFraction(double from, double to) const;

    // Sound levels: the mean power of each whole window of samples in decibels. A window may span two
    // pieces; a partial window at the end is dropped.
    class SpeechMeter {
    public:
        explicit SpeechMeter(double step = defaultSpeechStep);
        void add(const float* samples, size_t count);
        const std::vector<double>& levels() const { return levels_; }

    private:
        size_t window_;
        size_t filled_ = 0;
        double sum_ = 0;
        std::vector<double> levels_;
    };

    // Bytes of predicted frames per step, and the sizes of the sync frames. Packets with no time, a
    // negative time or a time past `latestTime` are skipped, so a bad timestamp can neither index out of
    // range nor grow the list without bound.
    class ScreenMeter {
    public:
        ScreenMeter(double step, double latestTime);
        void add(const LayoutSignalsMovieSource::Packet& packet);
        const std::vector<double>& buckets() const { return buckets_; }
        const std::vector<double>& syncSizes() const { return syncSizes_; }

    private:
        double step_;
        double latestTime_;
        std::vector<double> buckets_;
        std::vector<double> syncSizes_;
    };

    // Talking flags from levels: loud against the recording's own floor and peak, widened by 3 steps
    // each way so pauses between words close up. Absent for fewer than 21 levels or too little contrast.
    static std::optional<std::vector<bool>> speechFlags(const std::vector<double>& levels);
    // Change flags from predicted-frame bytes per step, relative to a typical sync frame.
    static std::optional<std::vector<bool>> screenFlags(const std::vector<double>& buckets, std::vector<double> syncSizes);
};
