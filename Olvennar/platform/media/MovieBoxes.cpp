#include "platform/media/MovieBoxes.h"

#include <QFile>

#include <cstring>
#include <optional>

namespace MovieBoxes {
namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]); }
uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }

struct Box {
    uint32_t type = 0;
    const uint8_t* body = nullptr;
    size_t size = 0;
};

constexpr uint32_t fourcc(const char (&s)[5]) { return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]); }

// Walks the children of a container body; stops at the first malformed size.
template <typename F>
void forEachChild(const uint8_t* data, size_t size, F&& visit)
{
    size_t offset = 0;
    while (offset + 8 <= size) {
        uint64_t boxSize = be32(data + offset);
        const uint32_t type = be32(data + offset + 4);
        size_t header = 8;
        if (boxSize == 1) {
            if (offset + 16 > size)
                return;
            boxSize = be64(data + offset + 8);
            header = 16;
        } else if (boxSize == 0) {
            boxSize = size - offset;
        }
        if (boxSize < header || boxSize > size - offset)
            return;
        visit(Box {type, data + offset + header, static_cast<size_t>(boxSize - header)});
        offset += boxSize;
    }
}

std::optional<QByteArray> readMovieBox(QFile& file)
{
    qint64 offset = 0;
    const qint64 total = file.size();
    while (offset + 8 <= total) {
        if (!file.seek(offset))
            return std::nullopt;
        const QByteArray head = file.read(16);
        if (head.size() < 8)
            return std::nullopt;
        const auto* p = reinterpret_cast<const uint8_t*>(head.constData());
        uint64_t size = be32(p);
        const uint32_t type = be32(p + 4);
        qint64 header = 8;
        if (size == 1 && head.size() >= 16) {
            size = be64(p + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<uint64_t>(total - offset);
        }
        if (size < static_cast<uint64_t>(header))
            return std::nullopt;
        if (type == fourcc("moov")) {
            if (size > 256u * 1024 * 1024)
                return std::nullopt;
            file.seek(offset + header);
            return file.read(static_cast<qint64>(size) - header);
        }
        offset += static_cast<qint64>(size);
    }
    return std::nullopt;
}

} // namespace

MovieHeader read(const QString& path)
{
    MovieHeader header;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return header;
    const std::optional<QByteArray> moov = readMovieBox(file);
    if (!moov)
        return header;
    const auto* data = reinterpret_cast<const uint8_t*>(moov->constData());
    forEachChild(data, static_cast<size_t>(moov->size()), [&](const Box& box) {
        if (box.type == fourcc("mvhd") && box.size >= 24)
            header.timescale = be32(box.body + (box.body[0] == 1 ? 20 : 12));
        if (box.type != fourcc("trak"))
            return;
        int trackID = -1;
        TrackEdits edits;
        forEachChild(box.body, box.size, [&](const Box& child) {
            if (child.type == fourcc("tkhd") && child.size >= 24)
                trackID = static_cast<int>(be32(child.body + (child.body[0] == 1 ? 20 : 12)));
            if (child.type != fourcc("edts"))
                return;
            forEachChild(child.body, child.size, [&](const Box& elst) {
                if (elst.type != fourcc("elst") || elst.size < 8)
                    return;
                const bool wide = elst.body[0] == 1;
                const uint32_t count = be32(elst.body + 4);
                const size_t entrySize = wide ? 20 : 12;
                for (uint32_t i = 0; i < count && 8 + (i + 1) * entrySize <= elst.size; ++i) {
                    const uint8_t* e = elst.body + 8 + i * entrySize;
                    const int64_t duration = wide ? static_cast<int64_t>(be64(e)) : be32(e);
                    const int64_t mediaTime = wide ? static_cast<int64_t>(be64(e + 8)) : static_cast<int32_t>(be32(e + 4));
                    if (mediaTime != -1)
                        break;
                    edits.leadingEmptyEdit += duration;
                }
            });
        });
        if (trackID >= 0)
            header.tracks[trackID] = edits;
    });
    return header;
}

} // namespace MovieBoxes
