#pragma once

#include <QString>

// Short feedback sounds by name: "Funk", "Basso", "Pop", "Tink". Unknown names play nothing.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Returns at once; the sound plays in the background.
    virtual void play(const QString& name) = 0;
};
