#include "support/PrivateNullSink.h"

#include "platform/audio/PulseAudioCatalog.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

bool PrivateNullSink::testServerRunning()
{
    const auto state = PulseAudioCatalog().query();
    if (state)
        for (const auto& source : state->sources)
            if (source.name == QLatin1String("olvennar_mic.monitor"))
                return true;
    // PipeWire's session was started for this test (TestMain): one that no longer answers is a fault, not a skip.
    // The failure is fatal so that a fixture skipping in SetUp never runs its body without the server (gtest runs
    // the body after a skip once the test has a non-fatal failure).
    if (qgetenv("OLVENNAR_TEST_SOUND_SERVER") == "pipewire")
        [] { FAIL() << "PipeWire's sound server at " << qgetenv("PULSE_SERVER").toStdString() << " does not answer"; }();
    return false;
}

namespace {
// The module's index, or nothing when pactl failed.
QString loadModule(const QStringList& arguments)
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), QStringList{QStringLiteral("load-module")} + arguments);
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        return {};
    return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
}
}

std::unique_ptr<PrivateNullSink> PrivateNullSink::load(const QString& purpose, bool withMicrophone)
{
    std::unique_ptr<PrivateNullSink> sink(new PrivateNullSink);
    sink->name_ = QStringLiteral("olvennar_test_%1_%2").arg(purpose).arg(getpid());
    sink->module_ = loadModule({QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + sink->name_, QStringLiteral("rate=48000")});
    if (sink->module_.isEmpty())
        return nullptr;
    if (withMicrophone) {
        sink->microphoneModule_ = loadModule(
            {QStringLiteral("module-remap-source"), QStringLiteral("source_name=") + sink->microphone(), QStringLiteral("master=") + sink->monitor()});
        if (sink->microphoneModule_.isEmpty())
            return nullptr;
    }
    return sink;
}

PrivateNullSink::~PrivateNullSink()
{
    if (!microphoneModule_.isEmpty())
        QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), microphoneModule_});
    QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module_});
}
