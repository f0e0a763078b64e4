#pragma once

// While one lives on a thread, the image loops' row work (ImageCompositing::forRows) stays on that thread.
// For threads that already draw whole frames side by side with others: splitting each frame's rows over
// a shared pool as well only adds hand-overs and spinning workers that take cores from the encoder.
//
// Threading: affects only the thread it was made on; scopes nest.
class SerialRows {
public:
    SerialRows() : outer_(active_) { active_ = true; }
    ~SerialRows() { active_ = outer_; }
    SerialRows(const SerialRows&) = delete;
    SerialRows& operator=(const SerialRows&) = delete;

    static bool active() { return active_; }

private:
    bool outer_;
    static inline thread_local bool active_ = false;
};
