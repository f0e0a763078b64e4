#include "support/XvfbServer.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

std::unique_ptr<XvfbServer> XvfbServer::start(int width, int height)
{
    std::unique_ptr<XvfbServer> server(new XvfbServer);
    server->process_ = std::make_unique<QProcess>();
    // -displayfd 1: the server picks a free display and writes its number to standard output once ready.
    server->process_->start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
            QStringLiteral("+extension"), QStringLiteral("MIT-SHM"), QStringLiteral("+extension"), QStringLiteral("Composite"), QStringLiteral("+extension"),
            QStringLiteral("RANDR"), QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-br")});
    if (!server->process_->waitForStarted(3000))
        return nullptr;
    QByteArray output;
    QDeadlineTimer deadline(5000);
    while (!output.contains('\n') && !deadline.hasExpired()) {
        server->process_->waitForReadyRead(100);
        output += server->process_->readAllStandardOutput();
        if (server->process_->state() == QProcess::NotRunning)
            return nullptr;
    }
    const QByteArray number = output.trimmed();
    if (number.isEmpty())
        return nullptr;
    server->displayName_ = ":" + number;
    return server;
}

XvfbServer::~XvfbServer()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(3000))
            process_->kill();
        process_->waitForFinished(1000);
    }
}

std::optional<QString> XvfbServer::xdotool(const QStringList& arguments) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName_));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}
