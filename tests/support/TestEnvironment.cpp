#include "support/TestEnvironment.h"

#include "platform/system/Diagnostics.h"
#include "support/PrivateNullSink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QThread>

#include <cstdlib>

namespace {
QString processHome;
}

namespace TestEnvironment {

void isolateProcess()
{
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/olvennar-test-XXXXXX"));
    processHome = root.path();
    const QByteArray home = QFile::encodeName(processHome);
    setenv("HOME", home.constData(), 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QByteArray sub = home + "/" + QByteArray(name).toLower();
        QDir().mkpath(QString::fromLocal8Bit(sub));
        setenv(name, sub.constData(), 1);
    }
    QDir().mkpath(processHome + QStringLiteral("/Videos"));
}

QString home() { return processHome; }

bool savedTheTake(const RecordingPhase& phase)
{
    // Lost frames on a busy machine are a notice beside the idle phase, never a failed one.
    return phase.kind() == RecordingPhase::Kind::idle;
}

QString missingForDrivenTakes()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
        return QStringLiteral("needs an X server");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        return QStringLiteral("needs xdotool");
    if (!PrivateNullSink::testServerRunning())
        return QStringLiteral("the test PulseAudio server is not running");
    return {};
}

bool waitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace TestEnvironment

void SandboxTest::SetUp()
{
    folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/olvennar-case-XXXXXX"));
    ASSERT_TRUE(folder->isValid());
    settings = std::make_unique<Settings>(path(QStringLiteral("settings.conf")));
    logPath = path(QStringLiteral("logs/test.log"));
    Diagnostics::setLogPathForTesting(logPath);
}

void SandboxTest::TearDown()
{
    Diagnostics::setLogPathForTesting(QString());
}

QString SandboxTest::path(const QString& relative) const { return QDir(folder->path()).filePath(relative); }

QString SandboxTest::readLog() const
{
    Diagnostics::flush();
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
