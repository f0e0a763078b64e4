#include "ui/DesktopHooks.h"

#include "ui/FileManagerReveal.h"
#include "ui/ShortWindows.h"

void DesktopHooks::revealFile(const QString& path) { FileManagerReveal::reveal(path, onRevealFailed); }

void DesktopHooks::openShortPreview()
{
    if (shortWindows_)
        shortWindows_->openPreview();
}

void DesktopHooks::closeShortPreview()
{
    if (shortWindows_)
        shortWindows_->closePreview();
}

void DesktopHooks::closeShortWindows()
{
    if (shortWindows_)
        shortWindows_->closeAll();
}

void DesktopHooks::playShort(const QString& path)
{
    if (shortWindows_)
        shortWindows_->play(path);
}
