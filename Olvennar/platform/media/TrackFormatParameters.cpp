#include "platform/media/TrackFormatParameters.h"

#include <cstring>

TrackFormat TrackFormat::Parameters::fromStream(const AVStream* stream)
{
    auto parameters = std::make_shared<Parameters>();
    parameters->codec.reset(avcodec_parameters_alloc());
    avcodec_parameters_copy(parameters->codec.get(), stream->codecpar);
    parameters->timeBase = stream->time_base;
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix && size >= 9 * sizeof(int32_t)) {
        std::array<int32_t, 9> values {};
        std::memcpy(values.data(), matrix, sizeof values);
        parameters->displayMatrix = values;
    }
    return TrackFormat(std::move(parameters));
}
