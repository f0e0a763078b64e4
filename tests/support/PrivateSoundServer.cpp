#include "support/PrivateSoundServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {
// A test killed by its time limit takes its servers along.
void dieWithParent() { prctl(PR_SET_PDEATHSIG, SIGKILL); }
}

const char* PrivateSoundServer::name(Kind kind) { return kind == Kind::pulseAudio ? "PulseAudio" : "PipeWire"; }

PrivateSoundServer::PrivateSoundServer(Kind kind) : kind_(kind), runtime_(QDir::tempPath() + QStringLiteral("/olvennar-sound-XXXXXX")) {}

std::unique_ptr<PrivateSoundServer> PrivateSoundServer::start(Kind kind)
{
    const QStringList programs = kind == Kind::pulseAudio
        ? QStringList{QStringLiteral("pulseaudio"), QStringLiteral("pactl")}
        : QStringList{QStringLiteral("pipewire"), QStringLiteral("wireplumber"), QStringLiteral("pipewire-pulse"), QStringLiteral("dbus-daemon"), QStringLiteral("pactl")};
    for (const QString& program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return nullptr;
    }
    std::unique_ptr<PrivateSoundServer> server(new PrivateSoundServer(kind));
    if (!server->runtime_.isValid())
        return nullptr;
    const QString root = server->runtime_.path();
    for (const char* folder : {"pulse", "pulse-state", "home", "state", "config"})
        QDir(root).mkpath(QString::fromLatin1(folder));
    QProcessEnvironment& environment = server->environment_;
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root);
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), root + QStringLiteral("/pulse"));
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), root + QStringLiteral("/pulse-state"));
    environment.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/state"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    const QString socket = QStringLiteral("unix:") + root + QStringLiteral("/pulse/native");
    environment.insert(QStringLiteral("PULSE_SERVER"), socket);
    environment.remove(QStringLiteral("DISPLAY"));
    if (kind == Kind::pipeWire) {
        // The session bus lives as long as the server object, across kills and restarts.
        server->bus_ = std::make_unique<QProcess>();
        server->bus_->setProcessEnvironment(environment);
        server->bus_->setChildProcessModifier(dieWithParent);
        server->bus_->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!server->bus_->waitForReadyRead(5000))
            return nullptr;
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(server->bus_->readLine()).trimmed());
    }
    server->previousServer_ = qEnvironmentVariableIsSet("PULSE_SERVER") ? std::optional(qgetenv("PULSE_SERVER")) : std::nullopt;
    qputenv("PULSE_SERVER", socket.toUtf8());
    if (!server->launch())
        return nullptr;
    return server;
}

PrivateSoundServer::~PrivateSoundServer()
{
    kill();
    if (bus_) {
        bus_->kill();
        bus_->waitForFinished(3000);
    }
    if (previousServer_)
        qputenv("PULSE_SERVER", *previousServer_);
    else
        qunsetenv("PULSE_SERVER");
}

QProcess* PrivateSoundServer::spawn(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment_);
    process->setChildProcessModifier(dieWithParent);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(runtime_.filePath(QFileInfo(program).fileName() + QStringLiteral(".log")), QIODevice::Append);
    process->start(program, arguments);
    processes_.push_back(std::move(process));
    return processes_.back()->waitForStarted(5000) ? processes_.back().get() : nullptr;
}

bool PrivateSoundServer::launch()
{
    if (kind_ == Kind::pulseAudio) {
        if (!spawn(QStringLiteral("pulseaudio"),
                {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"), QStringLiteral("--system=false"),
                    QStringLiteral("-n"), QStringLiteral("--use-pid-file=no"), QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1"),
                    QStringLiteral("--load=module-always-sink")}))
            return false;
    } else {
        if (!spawn(QStringLiteral("pipewire"), {}))
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(runtime_.filePath(QStringLiteral("pipewire-0"))) && waited.elapsed() < 5000)
            QThread::msleep(20);
        if (!spawn(QStringLiteral("wireplumber"), {}) || !spawn(QStringLiteral("pipewire-pulse"), {}))
            return false;
    }
    if (!answers(10000))
        return false;
    const auto nullSink = [](const char* name) {
        return QStringList{QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + QString::fromLatin1(name),
            QStringLiteral("rate=48000")};
    };
    return pactl(nullSink("private_out")) && pactl(nullSink("private_in"))
        && pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"), QStringLiteral("source_name=private_mic"),
            QStringLiteral("master=private_in.monitor")})
        && pactl({QStringLiteral("set-default-sink"), QStringLiteral("private_out")})
        && pactl({QStringLiteral("set-default-source"), QStringLiteral("private_mic")});
}

bool PrivateSoundServer::answers(int timeoutMs) const
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (pactl({QStringLiteral("info")}))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void PrivateSoundServer::kill()
{
    for (const auto& process : processes_)
        process->kill();
    for (const auto& process : processes_)
        process->waitForFinished(3000);
    processes_.clear();
    // A socket left behind would let a restart's wait pass before the new server listens.
    QFile::remove(runtime_.filePath(QStringLiteral("pipewire-0")));
    QFile::remove(runtime_.filePath(QStringLiteral("pulse/native")));
}

bool PrivateSoundServer::restart()
{
    kill();
    return launch();
}

std::optional<QString> PrivateSoundServer::pactl(const QStringList& arguments) const
{
    QProcess pactl;
    pactl.setProcessEnvironment(environment_);
    pactl.start(QStringLiteral("pactl"), arguments);
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
}
