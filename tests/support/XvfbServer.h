#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A private X server for one test: Xvfb with shared memory and Composite on a free display number.
class XvfbServer {
public:
    // Nothing when Xvfb is missing or does not come up within a few seconds.
    static std::unique_ptr<XvfbServer> start(int width, int height);
    ~XvfbServer();

    // ":<number>", for XcbConnection::open and X11ScreenCapture.
    QByteArray displayName() const { return displayName_; }

    // Runs xdotool on this server, as another client would: its trimmed output, nothing when it failed.
    std::optional<QString> xdotool(const QStringList& arguments) const;

private:
    XvfbServer() = default;
    std::unique_ptr<QProcess> process_;
    QByteArray displayName_;
};
