#pragma once

#include <QObject>

// Tells when the computer woke from sleep (logind's PrepareForSleep(false) on the system bus). Without a
// system bus it simply never fires.
class SleepWatcher : public QObject {
    Q_OBJECT

public:
    explicit SleepWatcher(QObject* parent = nullptr);
    bool isConnected() const { return connected_; }

Q_SIGNALS:
    void woke();

private Q_SLOTS:
    void prepareForSleep(bool starting);

private:
    bool connected_ = false;
};
