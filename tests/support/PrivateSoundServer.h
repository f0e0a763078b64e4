#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <vector>

// A sound server of the test's own, in its own runtime folder, which the test may kill and start again: the
// shared test server that other tests use at the same time is never touched. PulseAudio, or PipeWire's
// pulse server (pipewire, wireplumber and pipewire-pulse on a session bus of their own). While it lives,
// this process's sound clients talk to it (PULSE_SERVER). Each start brings the default output
// "private_out" and the default input "private_mic", a source remapped over the monitor of "private_in".
class PrivateSoundServer {
public:
    enum class Kind { pulseAudio, pipeWire };
    static const char* name(Kind kind);
    // Nothing when the server's programs are missing or it did not answer.
    static std::unique_ptr<PrivateSoundServer> start(Kind kind);
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Kills every process of the server at once, as a crash does: its clients lose their connections.
    void kill();
    // Starts it again on the same socket with its devices; false when it did not answer.
    bool restart();
    // pactl against this server: its output, or nothing when it failed.
    std::optional<QString> pactl(const QStringList& arguments) const;

private:
    explicit PrivateSoundServer(Kind kind);
    bool launch();
    QProcess* spawn(const QString& program, const QStringList& arguments);
    bool answers(int timeoutMs) const;

    Kind kind_;
    QTemporaryDir runtime_;
    QProcessEnvironment environment_;
    std::unique_ptr<QProcess> bus_;
    std::vector<std::unique_ptr<QProcess>> processes_;
    std::optional<QByteArray> previousServer_;
};
