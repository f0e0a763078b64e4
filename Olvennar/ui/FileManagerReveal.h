#pragma once

#include <QString>

#include <functional>

// Shows a file or folder selected in the desktop's file manager: org.freedesktop.FileManager1.ShowItems
// over the session bus, else (no bus, no such service, or an error reply) the containing folder opened with
// the desktop's default handler. Never blocks the caller on the bus. When nothing could show it, `failed`
// gets the sentence that says so with the folder's path (home as "~").
namespace FileManagerReveal {

void reveal(const QString& path, std::function<void(const QString& sentence)> failed = {});
QString failureText(const QString& folder);
// The folder the fallback opens: the item's parent, or the item itself when it is a folder.
QString fallbackFolder(const QString& path);

} // namespace FileManagerReveal
