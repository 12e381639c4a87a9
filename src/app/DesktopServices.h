#pragma once

#include <QString>

class QWidget;

namespace tarnwick {

// Shows `folder` selected in the file manager: org.freedesktop.FileManager1
// ShowItems over D-Bus, or the folder around it opened when no file manager
// answers. Returns at once; a failure is never reported to the caller.
void revealInFileManager(const QString& folder);

// Whether the floating panel has a taskbar entry (a normal window) or none (a
// tool window). A shown panel is shown again after the change.
void setTaskbarVisible(QWidget& panel, bool visible);

// Whether what we own on the clipboard is taken over by a clipboard manager when we quit.
bool clipboardOutlivesUs();

} // namespace tarnwick
