#pragma once

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QAction;
class QWidget;

namespace tarnwick {

// The keys of the menu bar X11 lacks (open, export, quit): every Tarnwick window
// answers them while it has the keyboard, the panel's and the tray's menus
// included, and each key does what its menu entry does when that entry is
// enabled (a disabled one beeps). Windows get the keys when they are first
// shown; dialogs keep only their own keys. A key a focused widget takes for
// itself (Ctrl+E in a text field) stays that widget's. GUI thread; one per
// process, owned by the shell's menus.
class ApplicationKeys : public QObject {
    Q_OBJECT
public:
    struct Key {
        QKeySequence sequence;
        QPointer<QAction> entry;
    };

    // `refresh` brings the entries' enabled states up to date before a key is judged.
    ApplicationKeys(std::vector<Key> keys, std::function<void()> refresh, std::function<void()> beep,
                    QObject* parent = nullptr);
    ~ApplicationKeys() override;

    // Gives a window the keys now; windows shown later get them by themselves.
    void attach(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void press(const Key& key, QWidget* window);

    std::vector<Key> keys_;
    std::function<void()> refresh_;
    std::function<void()> beep_;
};

} // namespace tarnwick
