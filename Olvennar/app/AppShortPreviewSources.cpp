#include "app/AppShortPreviewSources.h"

#include "framing/FramingMonitor.h"

AppShortPreviewSources::AppShortPreviewSources(PictureFactory makePicture)
    : makePicture_(std::move(makePicture))
{
}

AppShortPreviewSources::~AppShortPreviewSources() = default;

FramingMonitor& AppShortPreviewSources::framing()
{
    if (!framing_)
        framing_ = std::make_unique<FramingMonitor>();
    return *framing_;
}
