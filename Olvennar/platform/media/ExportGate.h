#pragma once

#include <mutex>

// The switch that holds background exports while a take is filming. The controller raises it; every
// export pump looks at it before each sample.
class ExportGate {
public:
    static ExportGate& shared();

    void setPaused(bool paused);
    bool isPaused() const;

private:
    mutable std::mutex lock_;
    bool paused_ = false;
};
