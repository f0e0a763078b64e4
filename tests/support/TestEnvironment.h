#pragma once

#include "platform/system/Settings.h"
#include "takedata/RecordingPhase.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace TestEnvironment {
// Points HOME and the XDG folders at a fresh temporary folder for the whole test process.
void isolateProcess();
// The process's private home.
QString home();
// Runs the main event loop until the predicate holds or the timeout (ms) passes; returns the predicate.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);
// A real-time take's stop that saved it: idle (a busy machine's lost frames are a notice beside it).
bool savedTheTake(const RecordingPhase& phase);
// What a test that drives the studio's windows with xdotool through real takes lacks here (an X server
// under xcb, xdotool, the test PulseAudio server); empty when nothing.
QString missingForDrivenTakes();
}

// A per-test folder plus its own settings file and log file; the log is restored when the test ends.
class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& relative) const;
    QString readLog() const;

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Settings> settings;
    QString logPath;
};
