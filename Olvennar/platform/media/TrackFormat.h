#pragma once

#include <memory>

// The codec parameters of one stored track (codec, size, extradata, tag), carried opaquely from a reader
// to a passthrough writer input or a remux so copied packets stay decodable. Empty when default-made.
class TrackFormat {
public:
    struct Parameters;

    TrackFormat() = default;
    explicit TrackFormat(std::shared_ptr<const Parameters> parameters) : parameters_(std::move(parameters)) {}

    bool isEmpty() const { return !parameters_; }
    const Parameters* parameters() const { return parameters_.get(); }

private:
    std::shared_ptr<const Parameters> parameters_;
};
