#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// An Xvfb of the test's own, so tests that move the pointer or type keys do not disturb (or get disturbed
// by) tests running in parallel on the shared display. Started only where an X display is available.
class PrivateXServer {
public:
    explicit PrivateXServer(int width = 1280, int height = 720);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool isRunning() const { return !display_.isEmpty(); }
    // Why the server is not running, for GTEST_SKIP.
    QString problem() const { return problem_; }
    // ":N", for XcbConnection::open.
    const char* display() const { return display_.constData(); }
    int width() const { return width_; }
    int height() const { return height_; }

    // Runs xdotool on this server; true when it exits cleanly.
    bool xdotool(const QStringList& arguments) const;

private:
    std::unique_ptr<QProcess> server_;
    QByteArray display_;
    QString problem_;
    int width_;
    int height_;
};
