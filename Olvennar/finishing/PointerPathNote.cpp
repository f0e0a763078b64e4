#include "finishing/PointerPathNote.h"

#include "plans/MixdownRequest.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace PointerPathNote {

namespace {

constexpr std::int64_t largestSteps = static_cast<std::int64_t>(Mixdown::largestSide * stepsPerSide);

std::int64_t steps(double position)
{
    if (!std::isfinite(position))
        return 0;
    return std::llround(std::clamp(position, -Mixdown::largestSide, Mixdown::largestSide) * stepsPerSide);
}

// Where one side of the path is heading: on from its last two points, at rest after its first.
class Heading {
public:
    std::int64_t next() const { return seen_ == 0 ? 0 : seen_ == 1 ? last_ : 2 * last_ - beforeLast_; }
    void pass(std::int64_t position)
    {
        beforeLast_ = last_;
        last_ = position;
        seen_ = std::min(seen_ + 1, 2);
    }

private:
    std::int64_t last_ = 0;
    std::int64_t beforeLast_ = 0;
    int seen_ = 0;
};

void appendStep(QByteArray& bytes, std::int64_t step)
{
    auto zigzag = (static_cast<std::uint64_t>(step) << 1) ^ static_cast<std::uint64_t>(step >> 63);
    while (zigzag >= 0x80) {
        bytes.append(static_cast<char>((zigzag & 0x7f) | 0x80));
        zigzag >>= 7;
    }
    bytes.append(static_cast<char>(zigzag));
}

// Reads the steps of one string in turn.
class StepReader {
public:
    explicit StepReader(const QByteArray& bytes) : bytes_(bytes) { }

    bool atEnd() const { return at_ == bytes_.size(); }
    // The next step, or a sentence.
    std::variant<std::int64_t, QString> next()
    {
        std::uint64_t zigzag = 0;
        for (int i = 0; i < longestStepBytes; ++i) {
            if (atEnd())
                return QStringLiteral("a pointer track cut inside a point");
            const auto byte = static_cast<std::uint8_t>(bytes_[at_++]);
            zigzag |= static_cast<std::uint64_t>(byte & 0x7f) << (7 * i);
            if (!(byte & 0x80))
                return static_cast<std::int64_t>(zigzag >> 1) ^ -static_cast<std::int64_t>(zigzag & 1);
        }
        return QStringLiteral("a pointer track step of more than %1 bytes").arg(longestStepBytes);
    }

private:
    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

} // namespace

QJsonObject encode(const PointerPath& path)
{
    const size_t count = path.xs.size() == path.ys.size() ? path.xs.size() : 0;
    QJsonArray track;
    Heading headings[2];
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(pointsPerString) * 2 * 3);
    for (size_t i = 0; i < count; ++i) {
        const double sides[2] = {path.xs[i], path.ys[i]};
        for (int side = 0; side < 2; ++side) {
            const std::int64_t position = steps(sides[side]);
            appendStep(bytes, position - headings[side].next());
            headings[side].pass(position);
        }
        if ((i + 1) % pointsPerString == 0 || i + 1 == count) {
            track.append(QString::fromLatin1(bytes.toBase64()));
            bytes.clear();
        }
    }
    return {{QStringLiteral("count"), static_cast<double>(count)}, {QStringLiteral("track"), track}};
}

std::variant<Positions, QString> decode(size_t count, const QJsonArray& track)
{
    // Every point takes two bytes at least, four base64 characters for three bytes.
    qsizetype characters = 0;
    for (const QJsonValue& each : track) {
        if (!each.isString())
            return QStringLiteral("a pointer track that is not text");
        characters += each.toString().size();
    }
    if (static_cast<double>(count) > static_cast<double>(characters) * 3 / 4 / 2)
        return QStringLiteral("a pointer path of %1 points whose track holds fewer").arg(count);

    Positions positions;
    positions.xs.reserve(count);
    positions.ys.reserve(count);
    Heading headings[2];
    std::vector<double>* const sides[2] = {&positions.xs, &positions.ys};
    for (const QJsonValue& each : track) {
        const QByteArray::FromBase64Result text = QByteArray::fromBase64Encoding(each.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!text)
            return QStringLiteral("a pointer track that is not base64");
        StepReader read(*text);
        while (!read.atEnd()) {
            if (positions.xs.size() == count)
                return QStringLiteral("a pointer path of %1 points whose track holds more").arg(count);
            for (int side = 0; side < 2; ++side) {
                const std::variant<std::int64_t, QString> step = read.next();
                if (const QString* sentence = std::get_if<QString>(&step))
                    return *sentence;
                const std::int64_t position = headings[side].next() + std::get<std::int64_t>(step);
                if (position < -largestSteps || position > largestSteps)
                    return QStringLiteral("a pointer position of ") + QString::number(static_cast<double>(position) / stepsPerSide, 'g', 15);
                headings[side].pass(position);
                sides[side]->push_back(static_cast<double>(position) / stepsPerSide);
            }
        }
    }
    if (positions.xs.size() != count)
        return QStringLiteral("a pointer path of %1 points whose track holds fewer").arg(count);
    return positions;
}

} // namespace PointerPathNote
