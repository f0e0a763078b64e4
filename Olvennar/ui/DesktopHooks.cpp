#include "ui/DesktopHooks.h"

#include "ui/FileManagerReveal.h"

void DesktopHooks::revealFile(const QString& path) { FileManagerReveal::reveal(path); }
