#pragma once

#include "platform/audio/PulseAudioCapture.h"

#include <QString>

// A microphone that records one named source: the hub's "default microphone" becomes a test's own null
// sink, so parallel tests never talk into it.
class PrivateMicrophone final : public AudioCapture {
public:
    explicit PrivateMicrophone(QString source) : source_(std::move(source)) {}
    std::optional<QString> start(const Request& request, BlockHandler onBlock, FailureHandler onFailure) override
    {
        Request routed = request;
        routed.source = Source::named;
        routed.sourceName = source_;
        return capture_.start(routed, std::move(onBlock), std::move(onFailure));
    }
    void stop() override { capture_.stop(); }
    QString sourceDescription() const override { return capture_.sourceDescription(); }

private:
    QString source_;
    PulseAudioCapture capture_;
};
