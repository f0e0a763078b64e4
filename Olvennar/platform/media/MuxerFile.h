#pragma once

#include "platform/media/LibavHandles.h"
#include "platform/media/MediaError.h"
#include "platform/media/MovieFileType.h"
#include "platform/system/OpenFile.h"

#include <QString>

#include <array>
#include <optional>

// Internal: one output container on disk with the write discipline of its mode. Not thread-safe; the owner
// serialises calls.
class MuxerFile {
public:
    MuxerFile(QString targetPath, MovieFileType type, MovieWriteMode mode, QString purpose);
    ~MuxerFile();
    MuxerFile(const MuxerFile&) = delete;
    MuxerFile& operator=(const MuxerFile&) = delete;

    std::optional<MediaError> create();
    AVFormatContext* context() const { return context_.get(); }
    // A track with these codec parameters, time base (a request; the muxer may change it) and display matrix.
    AVStream* addStream(const AVCodecParameters* parameters, AVRational timeBase, const std::optional<std::array<int32_t, 9>>& displayMatrix);
    std::optional<MediaError> writeHeader();
    // Packet times in the stream's time base; the packet is consumed.
    std::optional<MediaError> write(AVPacket* packet);
    // Trailer, close, fsync and (finishing) rename over the target. On failure the sibling is removed. The
    // file synced is the one written, wherever a rename of its folder took it meanwhile.
    std::optional<MediaError> finish();
    // Closes without a trailer; a finishing sibling is removed, a capture file stays as written (cut back to
    // its last whole fragment when a write failed).
    void abandon();

    const QString& targetPath() const { return targetPath_; }
    // The file being written: the target itself in capture mode, the hidden sibling otherwise.
    const QString& workPath() const { return workPath_; }
    bool headerWritten() const { return headerWritten_; }
    // Where the file written lies now (see OpenFile::location); nothing before create() or once it was deleted.
    std::optional<QString> location() const;

private:
    void closeAndDiscard();
    // A capture file whose write failed half-way through a fragment (a full disk) is cut back to its last
    // whole fragment, so every reader opens what it holds.
    void cutBackToWholeFragments();

    QString targetPath_;
    QString workPath_;
    MovieFileType type_;
    MovieWriteMode mode_;
    Libav::OutputFormat context_;
    // The file create() made, from then to the end: written, synced and found by descriptor, so a rename
    // cannot lose it.
    OpenFile written_;
    bool headerWritten_ = false;
    bool closed_ = false;
    // Capture mode: where the file ended after the last write that reached the disk whole, and whether a
    // later one failed part-way.
    int64_t wholeUpTo_ = 0;
    bool writeFailed_ = false;
};
