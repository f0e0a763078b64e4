#pragma once

#include <QString>
#include <QUuid>

// A row of the finish queue that the main window lists.
struct FinishJob {
    struct State {
        enum class Kind { working, done, failed };
        Kind kind = Kind::working;
        double progress = 0; // working
        QString path; // done: the finished file
        QString message; // failed: why; done: what of the take the file holds, when not all of it
        friend bool operator==(const State&, const State&) = default;
    };

    QUuid id;
    QString title;
    State state;
    friend bool operator==(const FinishJob&, const FinishJob&) = default;
};
