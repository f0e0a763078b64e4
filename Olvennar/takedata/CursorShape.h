#pragma once

// The cursor drawn back into the finished video. Raw values are what the cursor sidecar stores.
enum class CursorShape : int { other = -1, arrow = 0, iBeam = 1, hand = 2 };
