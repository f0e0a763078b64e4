#pragma once

#include <QProcess>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

// What the sound server gives a plain recorder (parec) of a source while a test records it through the
// studio: a break the plain recording hears too is the server's, not the studio's. PipeWire (0.3.65) on a
// virtual machine shifts a stream's sound by about 0.75 ms now and then, a few times a minute; PulseAudio
// never does. Stopped on destruction.
class ReferenceRecording {
public:
    // Nothing when parec does not start.
    static std::unique_ptr<ReferenceRecording> start(const QString& device, const QString& rawPath);
    // The sound of the program with process id `pid` alone, as the studio records a program (nothing when the
    // server shows no stream of it within two seconds).
    static std::unique_ptr<ReferenceRecording> startOfProgram(qint64 pid, const QString& rawPath);
    // The server's number for the stream of the program with process id `pid` (a sink input), once the server
    // shows it; empty when it does not within two seconds.
    static QString programStream(qint64 pid);
    ~ReferenceRecording();

    // Ends the recording; the sound heard so far, both channels mixed down, at 48 kHz.
    std::vector<float> stop();
    // When parec was asked to start; its sound begins a moment later, once it reached the server.
    std::chrono::steady_clock::time_point launchedAt() const { return launchedAt_; }

    // The breaks among `taken` (seconds into a take) that the plain recording did not hear as well: `heard`
    // are seconds into the recording, which began between `leadFrom` and `leadTo` seconds before the take.
    // The one lead that explains the most breaks is taken, each within 30 ms (a codec spreads one break over
    // two of its blocks).
    static std::vector<double> breaksNotHeard(const std::vector<double>& taken, const std::vector<double>& heard, double leadFrom, double leadTo);

private:
    ReferenceRecording() = default;
    static std::unique_ptr<ReferenceRecording> record(const QStringList& source, const QString& rawPath);
    QProcess process_;
    QString rawPath_;
    std::chrono::steady_clock::time_point launchedAt_;
};
