#include "support/ReferenceRecording.h"

#include <QFile>
#include <QStringList>
#include <QThread>

#include <cmath>

std::unique_ptr<ReferenceRecording> ReferenceRecording::start(const QString& device, const QString& rawPath)
{
    return record({QStringLiteral("--device=") + device}, rawPath);
}

std::unique_ptr<ReferenceRecording> ReferenceRecording::startOfProgram(qint64 pid, const QString& rawPath)
{
    const QString stream = programStream(pid);
    return stream.isEmpty() ? nullptr : record({QStringLiteral("--monitor-stream=") + stream}, rawPath);
}

QString ReferenceRecording::programStream(qint64 pid)
{
    const QString owner = QStringLiteral("application.process.id = \"%1\"").arg(pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
        pactl.waitForFinished(5000);
        QString input;
        for (const QString& line : QString::fromUtf8(pactl.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("Sink Input #")))
                input = line.mid(12).trimmed();
            else if (line.trimmed() == owner)
                return input;
        }
        QThread::msleep(10);
    }
    return {};
}

std::unique_ptr<ReferenceRecording> ReferenceRecording::record(const QStringList& source, const QString& rawPath)
{
    std::unique_ptr<ReferenceRecording> recording(new ReferenceRecording);
    recording->rawPath_ = rawPath;
    recording->process_.setStandardOutputFile(rawPath);
    recording->launchedAt_ = std::chrono::steady_clock::now();
    recording->process_.start(QStringLiteral("parec"),
        source + QStringList {QStringLiteral("--raw"), QStringLiteral("--format=float32le"), QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
                     QStringLiteral("--latency-msec=10")});
    if (!recording->process_.waitForStarted(5000))
        return nullptr;
    return recording;
}

ReferenceRecording::~ReferenceRecording()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

std::vector<float> ReferenceRecording::stop()
{
    // parec writes what it read when it is asked to end.
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    QFile file(rawPath_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const auto* samples = reinterpret_cast<const float*>(bytes.constData());
    const size_t frames = static_cast<size_t>(bytes.size()) / (2 * sizeof(float));
    std::vector<float> mono(frames);
    for (size_t i = 0; i < frames; ++i)
        mono[i] = (samples[2 * i] + samples[2 * i + 1]) / 2;
    return mono;
}

std::vector<double> ReferenceRecording::breaksNotHeard(const std::vector<double>& taken, const std::vector<double>& heard, double leadFrom, double leadTo)
{
    constexpr double within = 0.030;
    const auto unexplained = [&](double lead) {
        std::vector<double> left;
        for (double t : taken) {
            bool found = false;
            for (double h : heard)
                found = found || std::fabs(t + lead - h) <= within;
            if (!found)
                left.push_back(t);
        }
        return left;
    };
    std::vector<double> best = taken;
    for (double t : taken) {
        for (double h : heard) {
            const double lead = h - t;
            if (lead < leadFrom - within || lead > leadTo + within)
                continue;
            std::vector<double> left = unexplained(lead);
            if (left.size() < best.size())
                best = std::move(left);
        }
    }
    return best;
}
