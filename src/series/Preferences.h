#pragma once

#include "series/ColorCode.h"

#include <QSettings>
#include <QString>
#include <optional>

namespace tarnwick {

// The user's preferences over QSettings: every key, its default and how a junk
// value reads (as the default) are here. Values are read once at construction
// and written through at once. GUI thread; owned by AppModel.
class Preferences {
public:
    explicit Preferences(QSettings& settings);

    // Clears the series after a completed hand-off; default on.
    bool autoClear() const { return autoClear_; }
    void setAutoClear(bool on);
    // The panel shows a taskbar entry; default off.
    bool showsTaskbarIcon() const { return showsTaskbarIcon_; }
    void setShowsTaskbarIcon(bool on);
    // Where unmarked images are saved: an absolute, clean path; none until chosen.
    const std::optional<QString>& imageSaveDirectory() const { return imageSaveDirectory_; }
    void setImageSaveDirectory(const QString& cleanPath);
    ColorCodeFormat colorCodeFormat() const { return colorCodeFormat_; }
    void setColorCodeFormat(ColorCodeFormat format);
    // The editor's floating toolbar as a column at the left; default off.
    bool editorVerticalToolbar() const { return editorVerticalToolbar_; }
    void setEditorVerticalToolbar(bool vertical);

private:
    QSettings& settings_;
    bool autoClear_ = true;
    bool showsTaskbarIcon_ = false;
    std::optional<QString> imageSaveDirectory_;
    ColorCodeFormat colorCodeFormat_ = ColorCodeFormat::hexHash;
    bool editorVerticalToolbar_ = false;
};

} // namespace tarnwick
