#include "framing/FramingCropSpec.h"

#include "framing/ResolvedFramingCrop.h"

// The studio card comes from the studio geometry, which is not available yet.
std::optional<ResolvedFramingCrop> FramingCropSpec::resolveStudio(const QSizeF&) const
{
    return std::nullopt;
}
