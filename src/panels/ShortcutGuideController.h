#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>

namespace tarnwick {

class ShortcutGuideView;

// Owns the shortcut guide window. Closing only hides it, so it reopens on the
// section chosen last; with an autosave name its frame is kept in `settings`
// under that key and comes back in the next run. GUI thread only; the shell
// creates one on the first request and keeps it.
class ShortcutGuideController : public QObject {
    Q_OBJECT
public:
    ShortcutGuideController(QSettings& settings, QString autosaveName, QObject* parent = nullptr);
    ~ShortcutGuideController() override;

    // Brings the guide up: out of the minimised state, in front, with the focus.
    void show();
    ShortcutGuideView* window() const { return window_.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSettings& settings_;
    QString autosaveName_;
    std::unique_ptr<ShortcutGuideView> window_;
    bool restoring_ = false;
};

} // namespace tarnwick
