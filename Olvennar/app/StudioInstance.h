#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One studio per user: the first copy holds a lock file beside its settings (a killed copy's lock is stale
// and taken over) and listens on a local socket named after it, in $XDG_RUNTIME_DIR (else an abstract
// socket); a later copy knocks on that socket, which asks the first to come forward, and then leaves
// without touching anything. Main thread only.
class StudioInstance : public QObject {
    Q_OBJECT

public:
    // `folder` holds the lock; two copies that share it are the same studio.
    explicit StudioInstance(const QString& folder, QObject* parent = nullptr);
    ~StudioInstance() override;

    // True when this copy is the studio; false when another copy holds it (it was asked to come forward).
    bool claim();
    // The studio is ending: a later launch finds no answer and ends, while the lock stays held until this
    // object goes.
    void stopAnswering();
    // Where the studio listens: a path in the runtime folder, or an abstract name.
    const QString& socketName() const { return socketName_; }

Q_SIGNALS:
    // Another copy was launched while this one runs.
    void knocked();

private:
    bool knock() const;

    QString lockPath_;
    // A full path in the runtime folder, or an abstract name.
    QString socketName_;
    bool abstract_ = false;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};
