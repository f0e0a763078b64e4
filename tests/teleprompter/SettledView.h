#pragma once

#include "views/teleprompter/TeleprompterView.h"

#include <QImage>

// The view as it draws once settled, over black.
inline QImage settledPicture(TeleprompterView& view)
{
    view.settle();
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    view.render(&image);
    return image;
}
