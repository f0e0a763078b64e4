#pragma once

#include <QString>

#include <memory>

// A null sink of its own on the test sound server, so tests that play and record sound in parallel never
// hear each other. Its monitor "<name>.monitor" serves as a microphone. Unloaded on destruction.
class PrivateNullSink {
public:
    // Whether the test sound server (with its "olvennar_mic" sink) answers.
    static bool testServerRunning();
    // Nothing when pactl cannot load the module.
    static std::unique_ptr<PrivateNullSink> load(const QString& purpose);
    ~PrivateNullSink();

    const QString& name() const { return name_; }
    QString monitor() const { return name_ + QStringLiteral(".monitor"); }

private:
    PrivateNullSink() = default;
    QString name_;
    QString module_;
};
