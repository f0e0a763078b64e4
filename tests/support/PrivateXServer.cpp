#include "support/PrivateXServer.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>

PrivateXServer::PrivateXServer(int width, int height) : width_(width), height_(height)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        problem_ = QStringLiteral("no X display (run under scripts/test.sh)");
        return;
    }
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        problem_ = QStringLiteral("Xvfb or xdotool is not installed");
        return;
    }
    server_ = std::make_unique<QProcess>();
    server_->setProcessChannelMode(QProcess::SeparateChannels);
    // -displayfd 1: the server picks a free display and prints its number once it accepts connections.
    server_->start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                             QStringLiteral("-noreset"), QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("%1x%2x24").arg(width).arg(height)});
    QByteArray output;
    QDeadlineTimer deadline(10000);
    while (!output.contains('\n') && !deadline.hasExpired() && server_->state() != QProcess::NotRunning) {
        server_->waitForReadyRead(100);
        output += server_->readAllStandardOutput();
    }
    const QByteArray number = output.trimmed();
    if (number.isEmpty()) {
        problem_ = QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(server_->readAllStandardError());
        return;
    }
    display_ = ":" + number;
}

PrivateXServer::~PrivateXServer()
{
    if (server_ && server_->state() != QProcess::NotRunning) {
        server_->terminate();
        if (!server_->waitForFinished(3000)) {
            server_->kill();
            server_->waitForFinished(1000);
        }
    }
}

bool PrivateXServer::xdotool(const QStringList& arguments) const
{
    if (!isRunning())
        return false;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display_));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
