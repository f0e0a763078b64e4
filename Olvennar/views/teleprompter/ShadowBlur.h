#pragma once

// The radius of a page's shadow or glow is twice the sigma of the Gaussian blur that draws it.
inline double shadowSigma(double radius) { return radius / 2; }
