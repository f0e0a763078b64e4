#pragma once

// A spring that carries a value from 0 to 1, described as its response (the period of the undamped spring,
// in seconds) and its damping fraction (1 = critically damped, below 1 it overshoots a little). It starts
// at rest. Pure arithmetic, any thread.
struct SpringMotion {
    double response = 0.25;
    double dampingFraction = 0.85;

    // Where the value is `seconds` after the start; 0 before it.
    double position(double seconds) const;
    // From then on the value stays within `tolerance` of 1.
    double settleSeconds(double tolerance = 0.001) const;
};
