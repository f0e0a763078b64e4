#include "framing/SpringMotion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Damping fractions from 1 up are taken as critically damped: no overshoot, the quickest such settle.
double zetaOf(const SpringMotion& spring) { return std::clamp(spring.dampingFraction, 0.01, 1.0); }
double omegaOf(const SpringMotion& spring) { return 2 * std::numbers::pi / std::max(spring.response, 1e-6); }

} // namespace

double SpringMotion::position(double seconds) const
{
    if (!(seconds > 0))
        return 0;
    const double zeta = zetaOf(*this);
    const double omega = omegaOf(*this);
    const double decay = std::exp(-zeta * omega * seconds);
    if (zeta >= 1)
        return 1 - decay * (1 + omega * seconds);
    const double damped = omega * std::sqrt(1 - zeta * zeta);
    return 1 - decay * (std::cos(damped * seconds) + zeta * omega / damped * std::sin(damped * seconds));
}

double SpringMotion::settleSeconds(double tolerance) const
{
    const double zeta = zetaOf(*this);
    const double omega = omegaOf(*this);
    const double tol = std::clamp(tolerance, 1e-9, 0.5);
    if (zeta >= 1) {
        // (1 + ωt)·e^(−ωt) falls below the tolerance; step out until it does.
        double t = 0;
        while ((1 + omega * t) * std::exp(-omega * t) > tol)
            t += 0.001;
        return t;
    }
    // The envelope e^(−ζωt)/√(1 − ζ²) bounds the distance from 1.
    return std::log(1 / (tol * std::sqrt(1 - zeta * zeta))) / (zeta * omega);
}
