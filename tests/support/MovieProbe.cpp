#include "support/MovieProbe.h"

#include <QJsonDocument>
#include <QProcess>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Opens the file and a decoder for the stream picked by `choose`; calls `onFrame` for each decoded frame.
bool decode(const QString& path, const std::function<int(AVFormatContext*)>& choose, const std::function<void(const AVStream*, const AVFrame*)>& onFrame)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return false;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return false;
    const int index = choose(format.get());
    if (index < 0)
        return false;
    const AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return false;
    std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(context.get(), stream->codecpar);
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return false;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    auto drain = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            onFrame(stream, frame.get());
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(context.get(), packet.get()) == 0)
            drain();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(context.get(), nullptr);
    drain();
    return true;
}

double seconds(const AVStream* stream, int64_t pts) { return pts == AV_NOPTS_VALUE ? 0 : static_cast<double>(pts) * av_q2d(stream->time_base); }

} // namespace

namespace MovieProbe {

QJsonObject streams(const QString& path, bool packets)
{
    QStringList arguments {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"), QStringLiteral("json"),
        QStringLiteral("-show_streams"), QStringLiteral("-show_format")};
    if (packets)
        arguments << QStringLiteral("-show_packets");
    QProcess process;
    process.start(QStringLiteral("ffprobe"), arguments << path);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

QJsonArray streamsOfType(const QJsonObject& probe, const QString& type)
{
    QJsonArray result;
    for (const auto& stream : probe.value(QStringLiteral("streams")).toArray())
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == type)
            result.append(stream);
    return result;
}

std::vector<QJsonObject> packetsOf(const QJsonObject& probe, int streamIndex)
{
    std::vector<QJsonObject> result;
    for (const auto& packet : probe.value(QStringLiteral("packets")).toArray())
        if (packet.toObject().value(QStringLiteral("stream_index")).toInt() == streamIndex)
            result.push_back(packet.toObject());
    return result;
}

double number(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

double durationSeconds(const QString& path) { return number(streams(path)[QStringLiteral("format")].toObject(), QStringLiteral("duration")); }

void expectFields(const QJsonObject& object, const std::vector<std::pair<QString, QString>>& expected)
{
    for (const auto& [key, text] : expected) {
        const QJsonValue value = object.value(key);
        EXPECT_EQ((value.isString() ? value.toString() : QString::number(value.toDouble())).toStdString(), text.toStdString()) << key.toStdString();
    }
}

bool decodeVideo(const QString& path, const std::function<void(double, const QImage&)>& onFrame)
{
    SwsContext* scaler = nullptr;
    const bool ok = decode(
        path, [](AVFormatContext* f) { return av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0); },
        [&](const AVStream* stream, const AVFrame* frame) {
            scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
            // swscale writes whole vectors and may run past the last row's end: give it a spare row.
            QImage padded(frame->width, frame->height + 1, QImage::Format_RGB32);
            uint8_t* planes[] = {padded.bits()};
            const int strides[] = {static_cast<int>(padded.bytesPerLine())};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
            onFrame(seconds(stream, frame->best_effort_timestamp), padded.copy(0, 0, frame->width, frame->height));
        });
    sws_freeContext(scaler);
    return ok;
}

bool decodeAudio(const QString& path, int audioIndex, Sound& sound)
{
    bool first = true;
    return decode(
        path,
        [audioIndex](AVFormatContext* f) {
            int seen = 0;
            for (unsigned i = 0; i < f->nb_streams; ++i)
                if (f->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && seen++ == audioIndex)
                    return static_cast<int>(i);
            return -1;
        },
        [&](const AVStream* stream, const AVFrame* frame) {
            if (first) {
                sound.startSeconds = seconds(stream, frame->best_effort_timestamp);
                sound.sampleRate = frame->sample_rate;
                first = false;
            }
            const int channels = frame->ch_layout.nb_channels;
            // The native AAC decoder gives planar float.
            for (int i = 0; i < frame->nb_samples; ++i) {
                float sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += frame->format == AV_SAMPLE_FMT_FLTP ? reinterpret_cast<const float*>(frame->extended_data[c])[i]
                                                               : reinterpret_cast<const float*>(frame->extended_data[0])[i * channels + c];
                sound.mono.push_back(sum / static_cast<float>(channels));
            }
        });
}

} // namespace MovieProbe
