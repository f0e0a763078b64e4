#pragma once

#include <mutex>

// The switch that holds background exports while a take is filming. The controller raises it; every
// export pump looks at it before each sample. Abandoning it, when the studio quits, is for good: every pump
// stops at its next sample and its export is cancelled instead of written.
class ExportGate {
public:
    static ExportGate& shared();

    void setPaused(bool paused);
    // False once abandoned: an export that stops never waits for a take to end first.
    bool isPaused() const;

    void abandon();
    bool isAbandoned() const;

private:
    mutable std::mutex lock_;
    bool paused_ = false;
    bool abandoned_ = false;
};
