#include "support/PrivateNullSink.h"

#include <QProcess>

#include <unistd.h>

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
