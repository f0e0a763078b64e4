#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The JSON files of a take the disk refused (a full disk), held whole in memory with the take's job, so a
// later attempt, a Retry after space was freed, writes exactly what the stop or the save meant to.
// Main thread only, like the jobs that carry it.
class HeldSidecars {
public:
    // Keeps the file's bytes (JsonSidecar::encoded) for `path`, replacing what is held for that path.
    void hold(const QString& path, QByteArray bytes, const QString& purpose);
    // Appends what `other` holds, its files replacing held ones of the same path.
    void add(const HeldSidecars& other);
    // The files held directly in the folder `from` are held for the same names in `to`.
    void moveTo(const QString& from, const QString& to);
    // Writes every held file again; those written are let go, each refusal is logged.
    void writeAll();
    bool empty() const { return files_.empty(); }
    // The held files' names, in the order they were held.
    QStringList names() const;
    // "<names> could not be written (is the disk full?) — the take's movies are kept", or empty when none is held.
    QString refusedNote() const;

private:
    struct File {
        QString path;
        QByteArray bytes;
        QString purpose;
    };
    std::vector<File> files_;
};
