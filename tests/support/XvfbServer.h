#pragma once

#include <QByteArray>
#include <QProcess>

#include <memory>

// A private X server for one test: Xvfb with shared memory and Composite on a free display number.
class XvfbServer {
public:
    // Nothing when Xvfb is missing or does not come up within a few seconds.
    static std::unique_ptr<XvfbServer> start(int width, int height);
    ~XvfbServer();

    // ":<number>", for XcbConnection::open and X11ScreenCapture.
    QByteArray displayName() const { return displayName_; }

private:
    XvfbServer() = default;
    std::unique_ptr<QProcess> process_;
    QByteArray displayName_;
};
