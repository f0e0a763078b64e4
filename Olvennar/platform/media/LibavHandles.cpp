#include "platform/media/LibavHandles.h"

#include <mutex>

namespace Libav {

void quietLogs()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

std::optional<MediaError> drainPackets(AVCodecContext* codec, AVPacket* packet,
    const std::function<std::optional<MediaError>(AVPacket*)>& sink, const QString& failed)
{
    for (;;) {
        const int rc = avcodec_receive_packet(codec, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return std::nullopt;
        if (rc < 0)
            return failure(failed, rc);
        auto refused = sink(packet);
        av_packet_unref(packet);
        if (refused)
            return refused;
    }
}

} // namespace Libav
