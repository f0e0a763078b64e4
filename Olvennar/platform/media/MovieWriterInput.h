#pragma once

#include "platform/media/SampleSink.h"

#include <memory>

class MovieWriter;
struct MovieWriterTrack;

// One track of a MovieWriter. Video inputs take BGRA PixelBuffer samples or PlanarPicture samples of the
// track's size (or encoded packet samples when the input passes a stored format through); audio inputs take AudioBlock samples. Sample times are on the
// writer's session timeline (the session start maps to file time 0).
//
// Threading: every member may be called from any thread; appends of one input must come from one thread at
// a time (the caller's queue). The writer's lock serialises muxing between inputs.
class MovieWriterInput : public SampleSink {
public:
    ~MovieWriterInput() override;

    // Real-time inputs are always ready while writing; others are ready unless this track runs more than
    // a second ahead of an unfinished sibling, which keeps the interleaving buffer small.
    bool isReadyForMoreMediaData() const override;
    bool append(const MediaSample& sample) override;
    void markAsFinished() override;
    void requestMediaDataWhenReady(DispatchQueue& queue, std::function<void()> block) override;

    void setExpectsMediaDataInRealTime(bool realTime);
    bool expectsMediaDataInRealTime() const;
    bool isFinished() const;

private:
    friend class MovieWriter;
    MovieWriterInput(MovieWriter& writer, std::shared_ptr<MovieWriterTrack> track);

    MovieWriter& writer_;
    std::shared_ptr<MovieWriterTrack> track_;
};
