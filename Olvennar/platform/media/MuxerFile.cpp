#include "platform/media/MuxerFile.h"

#include "platform/system/AtomicFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/opt.h>
}

MuxerFile::MuxerFile(QString targetPath, MovieFileType type, MovieWriteMode mode, QString purpose)
    : targetPath_(std::move(targetPath))
    , type_(type)
    , mode_(mode)
{
    workPath_ = mode_ == MovieWriteMode::capture ? targetPath_ : AtomicFile::hiddenSibling(targetPath_, purpose);
}

MuxerFile::~MuxerFile()
{
    if (context_ && !closed_)
        abandon();
}

std::optional<MediaError> MuxerFile::create()
{
    const char* muxer = type_ == MovieFileType::appleM4A ? "ipod" : "mov";
    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(workPath_);
    int rc = avformat_alloc_output_context2(&raw, nullptr, muxer, name.constData());
    if (rc < 0 || !raw)
        return Libav::failure(QStringLiteral("could not create the container"), rc);
    context_.reset(raw);
    // The file is created here and avio writes it through its descriptor's name, which follows it: a folder
    // renamed the moment the file appears cannot part the writer from its file, nor the file from `written_`.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return Libav::failure(QStringLiteral("could not open ") + workPath_, AVERROR(errno));
    written_ = OpenFile::adopt(fd);
    rc = avio_open(&context_->pb, QFile::encodeName(written_.throughDescriptor()).constData(), AVIO_FLAG_WRITE);
    if (rc == AVERROR(ENOENT)) // no /proc: by path, as long as nobody renames the folder meanwhile
        rc = avio_open(&context_->pb, name.constData(), AVIO_FLAG_WRITE);
    if (rc < 0)
        return Libav::failure(QStringLiteral("could not open ") + workPath_, rc);
    return std::nullopt;
}

AVStream* MuxerFile::addStream(const AVCodecParameters* parameters, AVRational timeBase, const std::optional<std::array<int32_t, 9>>& displayMatrix)
{
    AVStream* stream = avformat_new_stream(context_.get(), nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, parameters) < 0)
        return nullptr;
    // Keep a tag the container knows (hvc1 stays hvc1); drop one it would refuse.
    if (stream->codecpar->codec_tag && av_codec_get_id(context_->oformat->codec_tag, stream->codecpar->codec_tag) != stream->codecpar->codec_id)
        stream->codecpar->codec_tag = 0;
    stream->time_base = timeBase;
    if (displayMatrix) {
        if (uint8_t* data = av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof(int32_t) * 9))
            std::memcpy(data, displayMatrix->data(), sizeof(int32_t) * 9);
    }
    return stream;
}

std::optional<MediaError> MuxerFile::writeHeader()
{
    AVDictionary* options = nullptr;
    if (mode_ == MovieWriteMode::capture) {
        // Every fragment lands on disk as soon as it closes; at most half a second of any track stays in
        // memory, so a kill or a full disk costs no more, and sound that runs ahead of a late picture is on
        // disk as soon as its own track fills a fragment. The index waits for the first fragment so it can
        // carry each track's start (an empty edit for a late camera).
        av_dict_set(&options, "movflags", "+frag_keyframe+delay_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration", "500000", 0);
        av_dict_set(&options, "flush_packets", "1", 0);
    } else {
        av_dict_set(&options, "movflags", "+faststart", 0);
    }
    const int rc = avformat_write_header(context_.get(), &options);
    av_dict_free(&options);
    if (rc < 0) {
        writeFailed_ = true;
        return Libav::failure(QStringLiteral("could not write the header"), rc);
    }
    headerWritten_ = true;
    // Packets are flushed one by one, so the file now ends where avio stands.
    wholeUpTo_ = avio_tell(context_->pb);
    return std::nullopt;
}

std::optional<MediaError> MuxerFile::write(AVPacket* packet)
{
    // Capture files go straight to the fragmenter so nothing waits in an interleaving queue; finished files
    // are interleaved for smooth playback.
    const int rc = mode_ == MovieWriteMode::capture ? av_write_frame(context_.get(), packet)
                                                    : av_interleaved_write_frame(context_.get(), packet);
    if (mode_ == MovieWriteMode::capture)
        av_packet_unref(packet);
    if (rc < 0) {
        writeFailed_ = true;
        return Libav::failure(QStringLiteral("could not write a packet"), rc);
    }
    if (mode_ == MovieWriteMode::capture)
        wholeUpTo_ = avio_tell(context_->pb);
    return std::nullopt;
}

std::optional<MediaError> MuxerFile::finish()
{
    std::optional<MediaError> failure;
    if (!headerWritten_) {
        failure = MediaError {QStringLiteral("nothing was written"), 0};
    } else {
        if (mode_ == MovieWriteMode::finishing)
            av_interleaved_write_frame(context_.get(), nullptr);
        const int rc = av_write_trailer(context_.get());
        if (rc < 0) {
            writeFailed_ = true;
            failure = Libav::failure(QStringLiteral("could not write the trailer"), rc);
        }
    }
    const int closeRc = avio_closep(&context_->pb);
    // The trailer may stay buffered to the close, so a full disk can show only there.
    if (closeRc < 0)
        writeFailed_ = true;
    if (!failure && closeRc < 0)
        failure = Libav::failure(QStringLiteral("could not close the file"), closeRc);
    closed_ = true;
    cutBackToWholeFragments();
    if (!failure) {
        if (auto why = written_.sync())
            failure = MediaError {QStringLiteral("could not sync ") + workPath_ + QStringLiteral(": ") + *why, 0};
    }
    if (mode_ == MovieWriteMode::finishing) {
        if (!failure) {
            if (auto renameFailure = AtomicFile::replace(workPath_, targetPath_))
                failure = MediaError {QStringLiteral("could not replace ") + targetPath_ + QStringLiteral(": ") + *renameFailure, 0};
        }
        if (failure)
            QFile::remove(workPath_);
    }
    return failure;
}

std::optional<QString> MuxerFile::location() const
{
    QStringList expected {targetPath_};
    if (workPath_ != targetPath_)
        expected << workPath_;
    return written_.location(expected);
}

void MuxerFile::abandon()
{
    if (!context_ || closed_)
        return;
    closeAndDiscard();
}

void MuxerFile::closeAndDiscard()
{
    if (context_->pb)
        avio_closep(&context_->pb);
    closed_ = true;
    cutBackToWholeFragments();
    if (mode_ == MovieWriteMode::finishing)
        QFile::remove(workPath_);
}

void MuxerFile::cutBackToWholeFragments()
{
    if (mode_ != MovieWriteMode::capture || !writeFailed_ || !written_.isOpen())
        return;
    // Cut only: a file already shorter than the mark (a write that never landed) is not padded.
    struct stat status {};
    if (::fstat(written_.descriptor(), &status) != 0 || status.st_size <= wholeUpTo_)
        return;
    // Should the cut fail, the file stays as the failed write left it.
    [[maybe_unused]] const int cut = ::ftruncate(written_.descriptor(), wholeUpTo_);
}
