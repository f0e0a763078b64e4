#pragma once

#include <QString>

#include <memory>

// A null sink of its own on the test sound server, so tests that play and record sound in parallel never
// hear each other. Its monitor "<name>.monitor" serves as a microphone; asked for, a remapped source over
// that monitor, "<name>_mic", serves as one the way a desk microphone does (a monitor is stamped
// differently). Unloaded on destruction.
class PrivateNullSink {
public:
    // Whether the test sound server (with its "olvennar_mic" sink) answers.
    static bool testServerRunning();
    // Nothing when pactl cannot load the module.
    static std::unique_ptr<PrivateNullSink> load(const QString& purpose, bool withMicrophone = false);
    ~PrivateNullSink();

    const QString& name() const { return name_; }
    QString monitor() const { return name_ + QStringLiteral(".monitor"); }
    // The remapped source, when loaded with one.
    QString microphone() const { return name_ + QStringLiteral("_mic"); }

private:
    PrivateNullSink() = default;
    QString name_;
    QString module_;
    QString microphoneModule_;
};
