#pragma once

#include <QImage>

// Pictures whose size comes from a setting or a layout: a size that is empty, not finite or beyond what the
// studio may hold in one picture is not made, so a wild stored value draws nothing instead of ending the
// program or exhausting the memory.
namespace PictureSize {

// 256 MB, the most Qt's own image reader allocates for one picture by default.
inline constexpr double largestBytes = 256.0 * 1024 * 1024;

// Whether a picture of width × height pixels (each rounded up) at bytesPerPixel can be made.
bool fits(double width, double height, int bytesPerPixel = 4);
// An uninitialised picture of that size, or a null one when it does not fit or cannot be allocated.
QImage image(double width, double height, QImage::Format format = QImage::Format_ARGB32_Premultiplied);

} // namespace PictureSize
