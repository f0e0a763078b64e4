#include "support/PrivateNullSink.h"

#include "platform/audio/PulseAudioCatalog.h"

#include <QProcess>

#include <unistd.h>

bool PrivateNullSink::testServerRunning()
{
    const auto state = PulseAudioCatalog().query();
    if (state)
        for (const auto& source : state->sources)
            if (source.name == QLatin1String("olvennar_mic.monitor"))
                return true;
    return false;
}

std::unique_ptr<PrivateNullSink> PrivateNullSink::load(const QString& purpose)
{
    std::unique_ptr<PrivateNullSink> sink(new PrivateNullSink);
    sink->name_ = QStringLiteral("olvennar_test_%1_%2").arg(purpose).arg(getpid());
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
        {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + sink->name_, QStringLiteral("rate=48000")});
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        return nullptr;
    sink->module_ = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    return sink;
}

PrivateNullSink::~PrivateNullSink()
{
    QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module_});
}
